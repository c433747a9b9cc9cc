// The POSIX platform as a job of the runner finds it: the driver's
// printer, the spool directory, the settings file and its overrides, the
// fonts; and the job's settings as the module will have them.
#pragma once

#include <string>

#include "job/job_context.h"
#include "platform/posix/posix_platform.h"
#include "runner/job_options.h"

namespace pclspool::runner {

// A printer with the driver's device modes (see job/device_modes.h) and
// no output yet.
posix::PrinterSetup DriverPrinterSetup();

// Points the POSIX services at the job's spool directory, settings file,
// [SETTING] overrides and fonts. A job run earlier in the same process
// leaves no settings behind.
void ConfigurePlatform(const JobOptions& o, const std::string& spool_dir);

// The job's settings as the module will have them at its first page: the
// job's device mode (as the settings capture copies it) with the [SETTING]
// section and the --set overrides on top, read by the module's own code
// from the platform as the job will find it.
JobContext EffectiveSettings(const posix::PrinterSetup& setup);

}  // namespace pclspool::runner
