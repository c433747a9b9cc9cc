#include "printer-app/app_system.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "printer-app/access_policy.h"
#include "printer-app/admin_password.h"
#include "printer-app/app_context.h"
#include "printer-app/copier_driver.h"
#include "printer-app/dnssd_off.h"
#include "printer-app/interrupted_jobs.h"
#include "printer-app/job_work_dir.h"
#include "printer-app/print_job.h"
#include "printer-app/printer_state_hooks.h"
#include "printer-app/settings_pages.h"
#include "runner/input_kind.h"

namespace pclspool::app {

namespace {

constexpr char kAppName[] = "pclspool-printer-app";
constexpr char kDefaultListen[] = "localhost";

// The formats PAPPL spools and hands to PrintDocument. PWG and Apple
// raster are streamed to the raster callbacks instead, unless marked to
// be spooled (raster_spooling.h): they then come as application/octet-stream.
constexpr const char* kSpooledFormats[] = {
    "application/pdf", "application/postscript", kCopierFormat, "image/jpeg", "image/png",
    // A document whose type neither the client nor PAPPL could tell: the
    // job process tells it by content, or refuses it.
    "application/octet-stream"};

std::string Option(int n, cups_option_t* options, const char* name, const char* def) {
  const char* v = cupsGetOption(name, n, options);
  return v ? v : def;
}

std::string DefaultStateDir() {
  if (const char* systemd = std::getenv("STATE_DIRECTORY"); systemd && *systemd) {
    // systemd may list several, separated by colons: ours is the first.
    const std::string dirs = systemd;
    return dirs.substr(0, dirs.find(':'));
  }
  if (::getuid() == 0) return std::string("/var/lib/") + kAppName;
  if (const char* xdg = std::getenv("XDG_STATE_HOME"); xdg && *xdg) {
    return std::string(xdg) + "/" + kAppName;
  }
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "/tmp") + "/.local/state/" + kAppName;
}

bool MakeDirs(const std::string& path) {
  for (std::size_t at = 1; at != std::string::npos;) {
    at = path.find('/', at + 1);
    const std::string part = path.substr(0, at);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
      std::fprintf(stderr, "%s: cannot make %s: %s\n", kAppName, part.c_str(),
                   std::strerror(errno));
      return false;
    }
  }
  return true;
}

pappl_loglevel_t LogLevel(const std::string& name) {
  if (name == "debug") return PAPPL_LOGLEVEL_DEBUG;
  if (name == "warn") return PAPPL_LOGLEVEL_WARN;
  if (name == "error") return PAPPL_LOGLEVEL_ERROR;
  if (name == "fatal") return PAPPL_LOGLEVEL_FATAL;
  return PAPPL_LOGLEVEL_INFO;
}

// PCL, which PAPPL's own typing does not know, and PostScript behind a
// DOS EPS header.
const char* DocumentType(const unsigned char* header, size_t size, void* /*data*/) {
  switch (runner::SniffInput(header, size)) {
    case runner::InputKind::kPcl:
      return kCopierFormat;
    case runner::InputKind::kPdf:
      return "application/pdf";
    case runner::InputKind::kPostScript:
      return "application/postscript";
    default:
      return nullptr;
  }
}

// Nothing to do but wake PAPPL's main loop, which saves the state once it
// wakes: with no work it sleeps 30 seconds, and a job accepted just before
// the server is killed would be lost.
bool WakeToSave(pappl_system_t* /*system*/, void* /*data*/) { return true; }

void Resume(pappl_printer_t* printer, void* /*data*/) { papplPrinterResume(printer); }

// PAPPL loads the jobs still queued from the state file but starts none
// until something else happens on their printer. Once the system runs,
// each printer is told to look at its queue (no printer is stopped then:
// a pause is not kept across a restart).
void StartQueuedJobs(pappl_system_t* system) {
  std::thread([system] {
    for (int i = 0; i < 600 && !papplSystemIsRunning(system); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (papplSystemIsRunning(system)) papplSystemIteratePrinters(system, Resume, nullptr);
  }).detach();
}

void PrinterMade(pappl_printer_t* printer, void* app) {
  PrinterCreated(printer, app);
  GuardPrinterPages(printer);
}

// The administrator's credential: a password made now when there is
// neither a password nor PAM (admin_password.h).
void EnsureCredential(pappl_system_t* system, const AppContext& app) {
  const std::string file = app.state_dir + "/" + kFirstPasswordFile;
  char hash[256] = "";
  if (papplSystemGetAuthService(system) || *papplSystemGetPassword(system, hash, sizeof(hash))) {
    ForgetChangedFirstPassword(system, file);
    return;
  }
  std::string error;
  if (MakeFirstPassword(system, file, &error)) {
    papplLog(system, PAPPL_LOGLEVEL_WARN,
             "No administrator password was set: one was made, and written to %s.", file.c_str());
  } else {
    papplLog(system, PAPPL_LOGLEVEL_ERROR,
             "No administrator password was set, and none could be made (%s): nothing can be "
             "administered but through the domain socket.", error.c_str());
  }
}

bool SaveState(pappl_system_t* system, void* app) {
  return papplSystemSaveState(system, static_cast<AppContext*>(app)->state_file.c_str());
}

// `drivers` makes its system in its own process, whether or not a server
// runs on the same state: a system with no listener, no state, no
// password and no spool of its own (the temporary directory, which is
// there already, stands for one: it never takes a job).
pappl_system_t* ListingSystem(AppContext& app) {
  pappl_system_t* system = papplSystemCreate(PAPPL_SOPTIONS_NONE, kAppName, 0, nullptr,
                                             papplGetTempDir(), "-", PAPPL_LOGLEVEL_ERROR,
                                             nullptr, false);
  if (system) {
    papplSystemSetPrinterDrivers(system, 1, CopierDrivers(), CopierDriverFor, nullptr,
                                 CopierDriverCallback, &app);
  }
  return system;
}

}  // namespace

pappl_system_t* CreateSystem(int n, cups_option_t* options, void* data) {
  AppContext& app = *static_cast<AppContext*>(data);
  if (app.listing_only) return ListingSystem(app);
  app.state_dir = Option(n, options, "state-directory", DefaultStateDir().c_str());
  app.state_file = app.state_dir + "/" + kAppName + ".state";
  app.settings_file = app.state_dir + "/OrvWater.INI";
  app.spool_dir = app.state_dir + "/spool";
  app.jobs_dir = app.state_dir + "/jobs";
  app.dnssd = Option(n, options, "dnssd", "on") != "off";
  if (!MakeDirs(app.state_dir) || !MakeDirs(app.spool_dir) || !MakeDirs(app.jobs_dir)) {
    return nullptr;
  }
  if (!app.dnssd) KeepDnssdOff(app.state_dir);

  const std::string port_text = Option(n, options, "server-port", "0");
  char* end = nullptr;
  const long port = std::strtol(port_text.c_str(), &end, 10);
  if (*end || port < 0 || port > 65535) {
    std::fprintf(stderr, "%s: bad server-port '%s'\n", kAppName, port_text.c_str());
    return nullptr;
  }
  const std::string log_file = Option(n, options, "log-file", "-");
  const char* auth = cupsGetOption("auth-service", n, options);
  pappl_system_t* system = papplSystemCreate(
      PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_SECURITY |
          PAPPL_SOPTIONS_WEB_LOG,
      kAppName, static_cast<int>(port), "_print,_universal", app.spool_dir.c_str(),
      log_file.c_str(), LogLevel(Option(n, options, "log-level", "info")), auth, false);
  if (!system) return nullptr;
  if (const char* group = cupsGetOption("admin-group", n, options)) {
    papplSystemSetAdminGroup(system, group);
  } else if (papplSystemGetAuthService(system)) {
    papplSystemSetAdminGroup(system, kDefaultAdminGroup);
  }
  InstallAccessPolicy(system);
  if (const char* host = cupsGetOption("server-hostname", n, options)) {
    papplSystemSetHostName(system, host);
  }
  // A server a client command started for itself listens on its domain
  // socket only.
  if (!cupsGetOption("private-server", n, options)) {
    const std::string listen = Option(n, options, "listen-hostname", kDefaultListen);
    if (!papplSystemAddListeners(system, listen == "*" ? nullptr : listen.c_str())) {
      std::fprintf(stderr, "%s: cannot listen on %s\n", kAppName, listen.c_str());
      papplSystemDelete(system);
      return nullptr;
    }
  }

  papplSystemSetPrinterDrivers(system, 1, CopierDrivers(), nullptr, PrinterMade,
                               CopierDriverCallback, &app);
  for (const char* format : kSpooledFormats) {
    papplSystemAddMIMEFilter(system, format, kCopierFormat, PrintDocument, &app);
  }
  papplSystemSetMIMECallback(system, DocumentType, nullptr);
  AddSettingsPages(system, app);
  RefreshWatermarks(system, app);  // and the words of the copier's options

  const std::vector<JobKey> aborted =
      AbortInterruptedJobs(app.state_file, LeftoverJobs(app.jobs_dir), std::time(nullptr));
  for (const JobKey& key : LeftoverJobs(app.jobs_dir)) {
    RemoveJobWorkDir(JobWorkDir(app.jobs_dir, key));
  }
  papplSystemLoadState(system, app.state_file.c_str());
  // A server a client command started for itself has no TCP listener.
  if (!cupsGetOption("private-server", n, options)) EnsureCredential(system, app);
  for (const JobKey& key : aborted) {
    papplLog(system, PAPPL_LOGLEVEL_WARN,
             "Job %d of printer %d was printing when the server stopped: aborted.", key.job_id,
             key.printer_id);
  }
  papplSystemSetSaveCallback(system, SaveState, &app);
  ShowCopierStates(&app.copiers);
  papplSystemAddTimerCallback(system, 0, 1, WakeToSave, nullptr);
  StartQueuedJobs(system);
  return system;
}

}  // namespace pclspool::app
