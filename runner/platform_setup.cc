#include "runner/platform_setup.h"

#include <cstring>

#include "job/device_modes.h"
#include "job/settings.h"
#include "platform/posix/utf.h"

namespace pclspool::runner {

posix::PrinterSetup DriverPrinterSetup() {
  posix::PrinterSetup setup;
  setup.has_printer_devmode = true;
  setup.printer_devmode = DriverPrinterDevmode();
  setup.has_job_devmode = true;
  setup.job_devmode = DriverJobDevmode();
  return setup;
}

void ConfigurePlatform(const JobOptions& o, const std::string& spool_dir) {
  posix::PosixPlatform& px = posix::Posix();
  px.files.SetSystemDirectory(spool_dir);
  px.profile.SetFilePath(o.ini);  // "" looks for OrvWater.INI in the working directory
  // A job run earlier in the same process leaves no settings behind.
  px.profile.ClearOverrides();
  for (const auto& [key, value] : o.settings) {
    px.profile.SetOverride(u"SETTING", posix::Utf8ToUtf16(key), posix::Utf8ToUtf16(value));
  }
  for (const auto& [face, file] : o.fonts) px.text.MapFace(posix::Utf8ToUtf16(face), file);
  if (o.dpi > 0) px.text.SetLogPixels(o.dpi);
  px.debug.SetTraceToStderr(o.trace);
}

JobContext EffectiveSettings(const posix::PrinterSetup& setup) {
  JobContext settings{};
  std::memcpy(&settings.dm, setup.job_devmode.data(), kDevmodeBlockSize);
  OverrideSettings(settings);
  return settings;
}

}  // namespace pclspool::runner
