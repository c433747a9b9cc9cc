// The device modes of a printer of this driver, for the platforms that
// have no spooler to keep them (the POSIX command, the tests).
#pragma once

#include "job/job_context.h"

namespace pclspool {

// A printer's device mode as the driver reports it: dmSpecVersion 0x0401,
// dmDriverVersion 0x0400, dmSize 220, dmDriverExtra 58, A4, 600 dpi,
// portrait, one copy; the DriverExtra zero.
DevmodeBlock DriverPrinterDevmode();

// A job's device mode: the same.
DevmodeBlock DriverJobDevmode();

}  // namespace pclspool
