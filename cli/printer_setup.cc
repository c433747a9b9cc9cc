#include "printer_setup.h"

#include "job/device_modes.h"

namespace pclspool::cli {

posix::PrinterSetup DriverPrinterSetup() {
  posix::PrinterSetup setup;
  setup.has_printer_devmode = true;
  setup.printer_devmode = DriverPrinterDevmode();
  setup.has_job_devmode = true;
  setup.job_devmode = DriverJobDevmode();
  return setup;
}

}  // namespace pclspool::cli
