#include "host/host.h"

#include <cstring>

#include "job/device_modes.h"
#include "job/paper.h"
#include "job/settings.h"
#include "platform/posix/utf.h"
#include "watermark/watermark_definition.h"

namespace pclspool::host {

namespace {

// The resolution a job's choices print at.
constexpr int kResolution = 600;

uint16_t NupOf(int pages_per_side) {
  return pages_per_side == 4 ? kNupFourUp : pages_per_side == 2 ? kNupTwoUp : kNupOneUp;
}

}  // namespace

void Configure(const Config& c) {
  posix::PosixPlatform& px = posix::Posix();
  px.files.SetSystemDirectory(c.spool_dir);
  px.profile.SetFilePath(c.ini);
  px.profile.ClearOverrides();
  for (const auto& [key, value] : c.overrides) {
    px.profile.SetOverride(u"SETTING", posix::Utf8ToUtf16(key), posix::Utf8ToUtf16(value));
  }
  for (const auto& [face, file] : c.fonts) px.text.MapFace(posix::Utf8ToUtf16(face), file);
  if (c.dpi > 0) px.text.SetLogPixels(c.dpi);
  px.debug.SetTraceToStderr(c.trace);
}

posix::PrinterSetup DriverPrinter() {
  posix::PrinterSetup setup;
  setup.has_printer_devmode = true;
  setup.printer_devmode = DriverPrinterDevmode();
  setup.has_job_devmode = true;
  setup.job_devmode = DriverJobDevmode();
  return setup;
}

void SetWatermark(posix::PrinterSetup* printer, uint16_t text) {
  DriverExtra extra;
  std::memcpy(extra.bytes, printer->job_devmode.data() + sizeof(DEVMODEW), sizeof(extra.bytes));
  extra::SetU16(extra, extra::kWaterIdx, text);
  std::memcpy(printer->job_devmode.data() + sizeof(DEVMODEW), extra.bytes, sizeof(extra.bytes));
}

Settings EffectiveSettings(const posix::PrinterSetup& printer) {
  JobContext ctx{};
  std::memcpy(&ctx.dm, printer.job_devmode.data(), kDevmodeBlockSize);
  OverrideSettings(ctx);
  return {JobSheetOf(ctx), IsGroupSort(ctx) ? ctx.dm.dmCopies : 1, StoresPages(ctx)};
}

std::vector<std::string> WatermarkTexts(const std::string& ini) {
  posix::Posix().profile.SetFilePath(ini);
  std::vector<std::string> texts;
  for (uint16_t n = 1; n != 0; ++n) {
    const char16_t* text = SelectWatermarkText(n);
    if (!text) break;
    texts.push_back(posix::Utf16ToUtf8(text));
  }
  return texts;
}

Keys SettingKeys(const Choices& c) {
  const Paper* paper = PaperByName(c.paper);
  if (!paper) paper = &DefaultPaper();
  const bool module_copies = c.copies > 1;
  Keys keys;
  const auto set = [&keys](const char* key, int value) {
    keys.emplace_back(key, std::to_string(value));
  };
  set("YRESOLUTION", kResolution);
  set("ORIENTATION", c.landscape ? kOrientationLandscape : kOrientationPortrait);
  set("PAPER CODE", paper->dmPaper | (c.booklet ? kBookletBit : 0));
  // The page is its paper's, at the job's resolution and in its
  // orientation (a key set over these, PAPER CODE or YRESOLUTION, changes
  // it with them).
  set("XDIMENSION", 0);
  set("YDIMENSION", 0);
  set("TWOupFOUR", NupOf(c.pages_per_side));
  set("BOOKLET_STYLE", c.booklet ? c.booklet_style : 0);
  set("COPIES", c.copies);
  set("FINISHER UNIT", module_copies ? 1 : 0);
  set("GROUPSORT", module_copies ? 1 : 0);
  set("DUPLEX UNIT", 1);
  set("DUPLEX", c.duplex);
  return keys;
}

bool IsPaper(const std::string& name) { return PaperByName(name) != nullptr; }

bool PaperPageOf(const std::string& name, int32_t resolution, PaperPage* page) {
  const Paper* paper = PaperByName(name);
  if (!paper) return false;
  *page = {DotsAt(paper->width300, resolution), DotsAt(paper->height300, resolution),
           DotsAt(paper->offsetPortrait300, resolution), paper->pclSize};
  return true;
}

}  // namespace pclspool::host
