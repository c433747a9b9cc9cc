// The module's host on POSIX: what a program that plays the print spooler
// around the seven hooks (include/pclspool/pclspool.h) needs of the module
// besides them, and no more. It points the POSIX platform at a job's
// settings file, its [SETTING] overrides, fonts and spool directory; gives
// the job's settings as the module will have them at its first page;
// reads the settings file's watermark texts; and writes a job's choices as
// the [SETTING] keys that stand for them. The sheets' geometry and the
// papers are the module's own (job/sheet_layout.h, job/paper.h), which the
// rendering side lays its pages by.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "job/sheet_layout.h"
#include "platform/posix/posix_platform.h"

namespace pclspool::host {

using Keys = std::vector<std::pair<std::string, std::string>>;

// The most copies the module makes (its COPIES setting stops there).
inline constexpr int kMaxCopies = pclspool::kMaxCopies;

// How the POSIX platform is set up for a job. A job run earlier in the
// same process leaves no settings behind.
struct Config {
  std::string spool_dir;
  std::string ini;  // empty: OrvWater.INI in the working directory, in any case
  Keys overrides;   // [SETTING] keys on top of the file, in order (a later one wins)
  Keys fonts;       // face name, font file
  int dpi = 0;      // LOGPIXELSX of the screen; 0 leaves the platform's
  bool trace = false;
};
void Configure(const Config& config);

// A printer of this driver (job/device_modes.h), with no output yet.
posix::PrinterSetup DriverPrinter();

// The job's choice of a watermark text (0 none), in its device mode.
void SetWatermark(posix::PrinterSetup* printer, uint16_t text);

// The job's settings as the module will have them at its first page: the
// printer's job device mode with the [SETTING] section and the overrides
// on top, read by the module's own code from the platform as configured.
struct Settings {
  JobSheet sheet;
  int32_t copies = 1;         // the copies the module makes (collated); 1 without group sort
  bool stores_pages = false;  // booklets and collated copies go through page files
};
Settings EffectiveSettings(const posix::PrinterSetup& printer);

// The texts of the settings file's [StringSummary], text 1 first, in
// UTF-8, as the module finds them.
std::vector<std::string> WatermarkTexts(const std::string& ini);

// A job's choices of its sheets, as a print dialog makes them.
struct Choices {
  std::string paper = "a4";  // a paper of the module's table (job/paper.h), by name
  bool landscape = false;
  int pages_per_side = 1;    // 1, 2 or 4
  bool booklet = false;
  uint16_t booklet_style = 0;  // 0 bound on the left, 1 on the right
  int copies = 1;              // collated copies the module makes
  int duplex = 0;              // 0 one-sided, 1 long edge, 2 short edge
};

// The [SETTING] keys that stand for them: the page at 600 dpi and of its
// paper's size, and every key a job's choices touch.
Keys SettingKeys(const Choices& choices);

// Whether the module's table has a paper of that name.
bool IsPaper(const std::string& name);

// A paper's portrait page at a resolution, and its PCL page size code.
struct PaperPage {
  int32_t width = 0;
  int32_t height = 0;
  int32_t offset = 0;  // where the logical page begins, dots from the left edge
  int32_t pcl_size = 0;
};
bool PaperPageOf(const std::string& name, int32_t resolution, PaperPage* page);

}  // namespace pclspool::host
