// The POSIX printer a job of this driver prints on: its output and the
// device modes its spooler would report.
#pragma once

#include "platform/posix/posix_platform.h"

namespace pclspool::cli {

// A printer with the driver's device modes (see job/device_modes.h) and
// no output yet.
posix::PrinterSetup DriverPrinterSetup();

}  // namespace pclspool::cli
