// pclspool-printer-app: the copier as a driverless IPP printer (IPP
// Everywhere, AirPrint, Mopria) on PAPPL, so that any client prints to it
// with no driver installed and the copier's watermark, booklets, n-up and
// collated copies apply.
//
//   pclspool-printer-app server [-o NAME=VALUE ...]
//   pclspool-printer-app add -d NAME -m pclspool -v socket://HOST:9100
//   pclspool-printer-app submit -d NAME FILE
//   pclspool-printer-app printers | jobs | cancel | modify | ...
//
// PAPPL's main loop runs the sub-commands. Every job runs in a process of
// its own: this program again, with the hidden sub-command job-process
// (and the picture of a watermark for the web page, watermark-preview).
#include <dlfcn.h>
#include <pappl/pappl.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "printer-app/access_policy.h"
#include "printer-app/app_context.h"
#include "printer-app/app_system.h"
#include "printer-app/copier_driver.h"
#include "printer-app/job_command.h"
#include "printer-app/job_process.h"
#include "printer-app/preview_process.h"
#include "printer-app/printer_id_commands.h"
#include "runner/job_runner.h"

namespace {

void Usage(void* /*data*/) {
  std::puts(
      "Usage: pclspool-printer-app SUB-COMMAND [OPTIONS] [FILENAME]\n"
      "\n"
      "Sub-commands:\n"
      "  server           Run the server.\n"
      "  add PRINTER      Add a printer: -d NAME -m pclspool -v DEVICE-URI.\n"
      "  modify           Change a printer's defaults: -d NAME -o NAME-default=VALUE.\n"
      "  delete           Delete a printer.\n"
      "  printers         List the printers.\n"
      "  submit           Print a file: -d NAME [-o NAME=VALUE] FILE.\n"
      "  jobs, cancel, status, options, default, pause, resume, shutdown, devices, drivers\n"
      "\n"
      "Options:\n"
      "  -d PRINTER       The printer.\n"
      "  -j JOB-ID        The job (cancel).\n"
      "  -m DRIVER-NAME   The driver: pclspool (add).\n"
      "  -n COPIES        Copies (submit).\n"
      "  -o NAME=VALUE    An option (add, modify, server, submit).\n"
      "  -u URI           The printer or server as an ipp: URI.\n"
      "  -v DEVICE-URI    socket://HOST:9100, usb://..., file:///PATH (add, modify).\n"
      "\n"
      "Server options (-o NAME=VALUE):\n"
      "  state-directory=DIR    printers, jobs, settings file (OrvWater.INI)\n"
      "  listen-hostname=NAME   address to listen on; default localhost, * for all\n"
      "  server-port=N          TCP port\n"
      "  dnssd=off              no DNS-SD announcements\n"
      "  log-file=FILE          - for standard error (the default)\n"
      "  log-level=LEVEL        debug, info (default), warn, error\n"
      "  auth-service=SERVICE   PAM service (or file) through which administrators sign in\n"
      "  admin-group=GROUP      the administrators' group with PAM (default lpadmin)");
}

}  // namespace

int main(int argc, char** argv) {
  using namespace pclspool::app;
  if (argc >= 2 && std::string_view(argv[1]) == kJobProcessCommand) {
    return JobProcessMain(argc, argv);
  }
  if (argc >= 2 && std::string_view(argv[1]) == kPreviewCommand) {
    return PreviewProcessMain(argc, argv);
  }
  if (int status = 0; RunPrinterIdCommand(argc, argv, &status)) return status;
  static AppContext app;
  app.listing_only = argc >= 2 && std::string_view(argv[1]) == "drivers";
  // PAPPL 1.3.1's page footer reads the footer's text without checking it
  // is there: every page has one.
  static const std::string footer =
      std::string("pclspool printer application ") + pclspool::runner::Version();
  return papplMainloop(argc, argv, pclspool::runner::Version(), footer.c_str(), 1, CopierDrivers(),
                       nullptr, CopierDriverCallback, nullptr, nullptr, CreateSystem, Usage, &app);
}

// libcups binds every domain socket it listens on for all users (0777),
// and PAPPL trusts whoever connects to it as the administrator. The
// server's own socket is made its user's alone (access_policy.h): this
// program's definition comes before libcups' for PAPPL's calls.
extern "C" int httpAddrListen(http_addr_t* addr, int port) {
  if (addr && addr->addr.sa_family == AF_LOCAL) return pclspool::app::ListenOwnerOnly(addr->un.sun_path);
  using Listen = int (*)(http_addr_t*, int);
  static const auto cups_listen = reinterpret_cast<Listen>(dlsym(RTLD_NEXT, "httpAddrListen"));
  return cups_listen ? cups_listen(addr, port) : -1;
}

// Under LeakSanitizer: PAPPL and libcups keep memory they never free
// (their caches, the system's objects at exit). They are theirs; a leak
// report would change the exit status of every job and picture process.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define PCLSPOOL_LSAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(PCLSPOOL_LSAN)
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libpappl.so\nleak:libcups.so\n";
}
// Nor a list of the suppressions used at every exit: the sub-commands'
// output (a job id from submit) is read by scripts.
extern "C" const char* __lsan_default_options() { return "print_suppressions=0"; }
#endif
