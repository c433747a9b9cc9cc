#include "printer-app/copier_driver.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "printer-app/app_context.h"
#include "printer-app/copier_media.h"
#include "printer-app/copier_page.h"
#include "printer-app/print_job.h"
#include "printer-app/printer_state_hooks.h"
#include "printer-app/vendor_attributes.h"
#include "runner/job_catalogue.h"
#include "runner/job_runner.h"

namespace pclspool::app {

namespace {

// The printable area's margins, in hundredths of millimetres: a sixth of
// an inch, as a PCL printer's logical page leaves.
constexpr int kMargin = 423;
constexpr int kPagesPerMinute = 30;
constexpr char kMediaSource[] = "main";
constexpr char kMediaType[] = "stationery";

std::vector<std::string> Keywords(AppContext& app) {
  std::lock_guard<std::mutex> lock(app.settings_mutex);
  return runner::WatermarkKeywords(runner::WatermarkTexts(SettingsFileToRead(app)));
}

void IdentifyCopier(pappl_printer_t* printer, pappl_identify_actions_t actions,
                    const char* message);

pappl_media_col_t MediaCol(const char* pwg) {
  pappl_media_col_t m{};
  const pwg_media_t* size = pwgMediaForPWG(pwg);
  std::strncpy(m.size_name, pwg, sizeof(m.size_name) - 1);
  m.size_width = size->width;
  m.size_length = size->length;
  m.left_margin = m.right_margin = m.top_margin = m.bottom_margin = kMargin;
  std::strncpy(m.source, kMediaSource, sizeof(m.source) - 1);
  // A ready medium must be of a type the driver lists, or the printer's
  // first job fails on it.
  std::strncpy(m.type, kMediaType, sizeof(m.type) - 1);
  return m;
}

void FillDriverData(pappl_pr_driver_data_t* d) {
  d->printfile_cb = PrintPclFile;
  d->rstartjob_cb = StartRasterJob;
  d->rstartpage_cb = StartRasterPage;
  d->rwriteline_cb = WriteRasterLine;
  d->rendpage_cb = EndRasterPage;
  d->rendjob_cb = EndRasterJob;
  d->format = kCopierFormat;
  std::strncpy(d->make_and_model, kDriverDescription, sizeof(d->make_and_model) - 1);
  d->ppm = kPagesPerMinute;
  d->kind = PAPPL_KIND_DOCUMENT;
  d->orient_default = IPP_ORIENT_PORTRAIT;
  d->color_supported =
      PAPPL_COLOR_MODE_AUTO | PAPPL_COLOR_MODE_AUTO_MONOCHROME | PAPPL_COLOR_MODE_MONOCHROME;
  d->color_default = PAPPL_COLOR_MODE_MONOCHROME;
  d->content_default = PAPPL_CONTENT_AUTO;
  d->quality_default = IPP_QUALITY_NORMAL;
  d->scaling_default = PAPPL_SCALING_AUTO;
  // Raster comes in 8-bit grey only: for a 1-bit page PAPPL hands the
  // driver the client's lines with the header of the printer's default, so
  // the page's own size and resolution would be lost.
  d->raster_types = PAPPL_PWG_RASTER_TYPE_SGRAY_8;
  d->force_raster_type = PAPPL_PWG_RASTER_TYPE_NONE;
  d->duplex = PAPPL_DUPLEX_NORMAL;
  d->sides_supported =
      PAPPL_SIDES_ONE_SIDED | PAPPL_SIDES_TWO_SIDED_LONG_EDGE | PAPPL_SIDES_TWO_SIDED_SHORT_EDGE;
  d->sides_default = PAPPL_SIDES_ONE_SIDED;
  d->finishings = PAPPL_FINISHINGS_NONE;
  d->num_resolution = 2;
  d->x_resolution[0] = d->y_resolution[0] = 300;
  d->x_resolution[1] = d->y_resolution[1] = 600;
  d->x_default = d->y_default = 600;
  d->left_right = kMargin;
  d->bottom_top = kMargin;
  d->num_media = 0;
  static const std::vector<std::string> media = CopierMediaNames();
  for (const std::string& m : media) d->media[d->num_media++] = m.c_str();
  d->media_default = MediaCol(media.front().c_str());
  d->num_source = 1;
  d->source[0] = kMediaSource;
  d->media_ready[0] = d->media_default;
  d->num_type = 1;
  d->type[0] = kMediaType;
  d->num_bin = 0;
  // The copier's control panel shows the message a client sends.
  d->identify_cb = IdentifyCopier;
  d->identify_supported = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
  d->identify_default = PAPPL_IDENTIFY_ACTIONS_DISPLAY;
  // The copier's state, supplies and trays as it reports them
  // (copier_watch.h), on PAPPL's Supplies page too.
  d->status_cb = CopierStateAsked;
  d->has_supplies = true;
  d->num_vendor = 0;
  for (const char* name : VendorAttributeNames()) d->vendor[d->num_vendor++] = name;
}

// The attributes the driver adds to PAPPL's own: the vendor attributes
// and what an IPP Everywhere client asks that PAPPL does not make.
void AddCopierAttributes(ipp_t* attrs, const std::vector<std::string>& keywords, ipp_t* current) {
  AddVendorAttributes(attrs, keywords, current);
  ippAddBoolean(attrs, IPP_TAG_PRINTER, "preferred-attributes-supported", 0);
  // A monochrome laser: no colour rendering to choose.
  ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-supported", nullptr,
               "auto");
  ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, "print-rendering-intent-default", nullptr,
               "auto");
}

void RefreshPrinter(pappl_printer_t* printer, void* keywords) {
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(printer, &data);
  ipp_t* current = papplPrinterGetDriverAttributes(printer);
  ipp_t* attrs = ippNew();
  AddCopierAttributes(attrs, *static_cast<std::vector<std::string>*>(keywords), current);
  papplPrinterSetDriverData(printer, &data, attrs);
  ippDelete(attrs);
  ippDelete(current);
}

// Identify-Printer: the message on the copier's control panel (PJL's ready
// message), printable ASCII without quotes, as PJL takes it.
void IdentifyCopier(pappl_printer_t* printer, pappl_identify_actions_t /*actions*/,
                    const char* message) {
  constexpr std::size_t kPanelChars = 40;
  std::string text;
  for (const char* p = message && *message ? message : "pclspool"; *p && text.size() < kPanelChars;
       ++p) {
    if (*p >= ' ' && *p <= '~' && *p != '"') text += *p;
  }
  pappl_device_t* device = papplPrinterOpenDevice(printer);
  if (!device) {
    papplLogPrinter(printer, PAPPL_LOGLEVEL_INFO, "Identify-Printer: the copier is busy.");
    return;
  }
  const std::string pjl = "\x1b%-12345X@PJL RDYMSG DISPLAY = \"" + text + "\"\r\n\x1b%-12345X";
  papplDeviceWrite(device, pjl.data(), pjl.size());
  papplDeviceFlush(device);
  papplPrinterCloseDevice(printer);
}

}  // namespace

pappl_pr_driver_t* CopierDrivers() {
  static pappl_pr_driver_t drivers[] = {
      {kDriverName, kDriverDescription, "MFG:pclspool;MDL:PCL copier;CMD:PCL;", nullptr}};
  return drivers;
}

const char* CopierDriverFor(const char* /*device_info*/, const char* /*device_uri*/,
                            const char* device_id, void* /*app*/) {
  // "CMD:PJL,PCLXL,PCL;" or "COMMAND SET:..." (IEEE 1284): PCL XL alone is
  // another language.
  const std::string_view id = device_id ? device_id : "";
  for (const std::string_view key : {"CMD:", "COMMAND SET:"}) {
    std::size_t at = id.find(key);
    while (at != std::string_view::npos && at != 0 && id[at - 1] != ';' && id[at - 1] != ' ') {
      at = id.find(key, at + 1);
    }
    if (at == std::string_view::npos) continue;
    std::string_view list = id.substr(at + key.size());
    list = list.substr(0, list.find(';'));
    while (!list.empty()) {
      const std::string_view language = list.substr(0, list.find(','));
      if (language == "PCL" || language.starts_with("PCL5")) return kDriverName;
      list.remove_prefix(std::min(list.size(), language.size() + 1));
    }
  }
  return nullptr;
}

bool CopierDriverCallback(pappl_system_t* /*system*/, const char* driver_name,
                          const char* /*device_uri*/, const char* /*device_id*/,
                          pappl_pr_driver_data_t* data, ipp_t** attrs, void* app) {
  if (std::strcmp(driver_name, kDriverName) != 0) return false;
  FillDriverData(data);
  // The print callbacks find the app through the printer's driver data.
  data->extension = app;
  // PAPPL hands the callback no attribute set: without one made here the
  // vendor attributes' -supported and -default values are lost.
  if (!*attrs) *attrs = ippNew();
  AddCopierAttributes(*attrs, Keywords(*static_cast<AppContext*>(app)), nullptr);
  return true;
}

void PrinterCreated(pappl_printer_t* printer, void* /*app*/) {
  AddCopierPage(printer);
  // The copier's toner, whose level is unknown until the copier says.
  pappl_supply_t toner{};
  toner.color = PAPPL_SUPPLY_COLOR_BLACK;
  std::strncpy(toner.description, "Black Toner", sizeof(toner.description) - 1);
  toner.is_consumed = true;
  toner.level = -1;
  toner.type = PAPPL_SUPPLY_TYPE_TONER;
  papplPrinterSetSupplies(printer, 1, &toner);
}

void RefreshWatermarks(pappl_system_t* system, AppContext& app) {
  std::vector<std::string> texts;
  {
    std::lock_guard<std::mutex> lock(app.settings_mutex);
    texts = runner::WatermarkTexts(SettingsFileToRead(app));
  }
  AddVendorStrings(system, texts);
  std::vector<std::string> keywords = runner::WatermarkKeywords(texts);
  papplSystemIteratePrinters(system, RefreshPrinter, &keywords);
}

}  // namespace pclspool::app
