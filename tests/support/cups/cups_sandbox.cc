#include "support/cups/cups_sandbox.h"
#include "support/loopback_port.h"

#include <cups/cups.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

namespace pclspool::cups_test {

namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr auto kStartTimeout = seconds(15);

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

// Waits until `ready` holds, up to kStartTimeout.
template <typename Ready>
bool Await(Ready ready) {
  const auto deadline = std::chrono::steady_clock::now() + kStartTimeout;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(milliseconds(50));
  }
  return true;
}

// An IPP request to a server (host "/path" for a domain socket); the
// response, or null.
ipp_t* Ask(const std::string& host, int port, ipp_t* request, const char* resource) {
  http_t* http =
      httpConnect2(host.c_str(), port, nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr);
  if (!http) {
    ippDelete(request);
    return nullptr;
  }
  ipp_t* response = cupsDoRequest(http, request, resource);
  httpClose(http);
  return response;
}

// A program in the background with its output in `log`.
testing::ChildProcess Spawn(std::vector<std::string> argv, std::vector<std::string> env,
                            const std::string& log) {
  return testing::ChildProcess({.argv = std::move(argv),
                                .env = std::move(env),
                                .out = testing::Output::File(log),
                                .err = testing::Output::Stdout()});
}

// A command that does nothing, by its full path (ippeveprinter looks for a
// bare name in CUPS's server bin).
std::string TrueCommand() {
  return ::access("/usr/bin/true", X_OK) == 0 ? "/usr/bin/true" : "/bin/true";
}

}  // namespace

bool CupsSandbox::Start(const SandboxFiles& files, std::string* error) {
  scratch_.emplace("cups");
  dir_ = scratch_->string();
  // Filters run as lp: everything they read must be reachable by it.
  ::chmod(dir_.c_str(), 0755);
  if (!Configure(files, error)) return false;
  if (!files.filter.empty() && !StartPrinter(error)) return false;
  cupsd_ =
      Spawn({"cupsd", "-f", "-c", dir_ + "/root/cupsd.conf", "-s", dir_ + "/root/cups-files.conf"},
            {}, dir_ + "/log/cupsd");
  if (!cupsd_.started() || !Await([&] {
        // Any answer will do ("no destinations" is one).
        ipp_t* r = Ask(dir_ + "/cups.sock", 0, ippNewRequest(IPP_OP_CUPS_GET_PRINTERS), "/");
        ippDelete(r);
        return r != nullptr;
      })) {
    *error = "cupsd did not start: " + ReadText(dir_ + "/log/cupsd") + ReadText(error_log());
    return false;
  }
  return true;
}

bool CupsSandbox::StartPrinter(std::string* error) {
  // ippeveprinter registers with DNS-SD through D-Bus; a private bus serves.
  dbus_ =
      Spawn({"dbus-daemon", "--session", "--nofork", "--print-address=1"}, {}, dir_ + "/log/dbus");
  std::string bus;
  if (!dbus_.started() || !Await([&] {
        const std::string text = ReadText(dir_ + "/log/dbus");
        const std::size_t nl = text.find('\n');
        if (nl == std::string::npos) return false;
        bus = text.substr(0, nl);
        return true;
      })) {
    *error = "dbus-daemon did not start";
    return false;
  }
  printer_port_ = testing::FreeLoopbackPort();
  // It keeps each document (-k) and "prints" it with true(1): without a
  // command it would pretend to print for 5 to 15 seconds a job, and the
  // backend would wait for it.
  printer_ =
      Spawn({"ippeveprinter", "-r", "off", "-n", "localhost", "-p", std::to_string(printer_port_),
             "-d", dir_ + "/printer", "-k", "-c", TrueCommand(), "-f",
             "application/vnd.hp-pcl,application/octet-stream", "copier"},
            {"DBUS_SYSTEM_BUS_ADDRESS=" + bus}, dir_ + "/log/printer");
  if (!printer_.started() || !Await([&] {
        http_t* http = httpConnect2("localhost", printer_port_, nullptr, AF_INET,
                                    HTTP_ENCRYPTION_NEVER, 1, 1000, nullptr);
        if (http) httpClose(http);
        return http != nullptr;
      })) {
    *error = "ippeveprinter did not start: " + ReadText(dir_ + "/log/printer");
    return false;
  }
  return true;
}

bool CupsSandbox::Configure(const SandboxFiles& files, std::string* error) {
  std::error_code ec;
  for (const char* d :
       {"root/pclspool", "serverbin/filter", "spool/tmp", "cache", "state", "log", "printer"}) {
    fs::create_directories(dir_ + "/" + d, ec);
  }
  for (const char* d : {"root", "root/pclspool", "serverbin", "serverbin/filter"}) {
    ::chmod((dir_ + "/" + d).c_str(), 0755);
  }
  // The system's backends and helpers, and its filters beside the one
  // under test (copied: CUPS runs only a root-owned filter that no one else
  // can write, in a directory likewise).
  const std::string serverbin = "/usr/lib/cups";
  for (const char* d : {"backend", "cgi-bin", "daemon", "monitor", "notifier"}) {
    fs::create_directory_symlink(serverbin + "/" + d, dir_ + "/serverbin/" + d, ec);
  }
  for (const auto& f : fs::directory_iterator(serverbin + "/filter", ec)) {
    fs::create_symlink(f.path(), dir_ + "/serverbin/filter/" + f.path().filename().string(), ec);
  }
  const auto copy = [&](const std::string& from, const std::string& to, mode_t mode) {
    std::error_code e;
    fs::copy_file(from, to, fs::copy_options::overwrite_existing, e);
    return !e && ::chmod(to.c_str(), mode) == 0;
  };
  if (!files.filter.empty() &&
      (!copy(files.filter, filter(), 0755) ||
       !copy(files.ini, dir_ + "/root/pclspool/OrvWater.INI", 0644) ||
       !copy(files.types, dir_ + "/root/pclspool.types", 0644))) {
    *error = "cannot copy the filter, the settings or the MIME type into " + dir_;
    return false;
  }

  ppd_ = files.ppd;
  cups_port_ = testing::FreeLoopbackPort();
  const std::string files_conf =
      "ServerRoot " + dir_ + "/root\n" + "ServerBin " + dir_ + "/serverbin\n" + "RequestRoot " +
      dir_ + "/spool\n" + "TempDir " + temp_dir() + "\n" + "CacheDir " + dir_ + "/cache\n" +
      "StateDir " + dir_ + "/state\n" + "ErrorLog " + error_log() + "\n" + "AccessLog " + dir_ +
      "/log/access_log\n" + "PageLog " + dir_ + "/log/page_log\n" + "Printcap " + dir_ +
      "/state/printcap\n" + "FileDevice Yes\nUser lp\nGroup lp\n" + "SystemGroup root\n";
  const std::string cupsd_conf =
      "Listen 127.0.0.1:" + std::to_string(cups_port_) + "\n" + "Listen " + dir_ + "/cups.sock\n" +
      "LogLevel debug\nBrowsing No\nWebInterface No\n"
      // Jobs are kept, so that their final state can be asked for.
      "PreserveJobHistory Yes\n"
      "<Location />\n  Order allow,deny\n  Allow localhost\n</Location>\n"
      "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
  if (!WriteText(dir_ + "/root/cups-files.conf", files_conf) ||
      !WriteText(dir_ + "/root/cupsd.conf", cupsd_conf)) {
    *error = "cannot write the configuration in " + dir_;
    return false;
  }
  return true;
}

void CupsSandbox::Stop() {
  cupsd_.Stop();
  printer_.Stop();
  dbus_.Stop();
  if (scratch_ && std::getenv("PCLSPOOL_KEEP_CUPS")) scratch_->Keep();
  scratch_.reset();
  dir_.clear();
}

bool CupsSandbox::AddQueue(const std::string& name, const std::string& uri, std::string* error,
                           const std::string& ppd) {
  // A job that fails is aborted, and the queue goes on with the next.
  std::vector<std::string> argv = {"lpadmin", "-p", name, "-E", "-v", uri};
  if (ppd.rfind("-m ", 0) == 0) {
    argv.insert(argv.end(), {"-m", ppd.substr(3)});
  } else {
    argv.insert(argv.end(), {"-P", ppd.empty() ? ppd_ : ppd});
  }
  argv.insert(argv.end(), {"-o", "printer-error-policy=abort-job"});
  const testing::ProgramRun r = Client(argv);
  if (r.status != 0) {
    *error = "lpadmin: " + r.out;
    return false;
  }
  return true;
}

bool CupsSandbox::AddFilter(const std::string& program, std::string* error) {
  const std::string to = dir_ + "/serverbin/filter/" + fs::path(program).filename().string();
  std::error_code ec;
  fs::copy_file(program, to, fs::copy_options::overwrite_existing, ec);
  if (ec || ::chmod(to.c_str(), 0755) != 0) {
    *error = "cannot copy " + program + " into " + to;
    return false;
  }
  return true;
}

std::string CupsSandbox::PrinterUri() const {
  // No SNMP query before each job, and no waiting for the printer to
  // finish it: the document is all there once it has been sent.
  return "ipp://localhost:" + std::to_string(printer_port_) + "/ipp/print?snmp=false&waitjob=false";
}

testing::ProgramRun CupsSandbox::Client(const std::vector<std::string>& argv) const {
  return testing::RunProgram({.argv = argv,
                              .env = {"CUPS_SERVER=" + dir_ + "/cups.sock"},
                              .err = testing::Output::Stdout(),
                              .time_limit = seconds(30)});
}

int CupsSandbox::Submit(const std::string& queue, const std::string& title,
                        const std::vector<std::string>& files,
                        const std::vector<std::string>& options, std::string* error) const {
  std::vector<std::string> argv = {"lp", "-d", queue, "-t", title};
  for (const std::string& o : options) {
    argv.push_back(o[0] == '-' ? o.substr(0, 2) : "-o");
    argv.push_back(o[0] == '-' ? o.substr(2) : o);
  }
  argv.insert(argv.end(), files.begin(), files.end());
  const testing::ProgramRun r = Client(argv);
  // "request id is copier-12 (1 file(s))"
  const std::string marker = "request id is " + queue + "-";
  const std::size_t at = r.out.find(marker);
  if (r.status != 0 || at == std::string::npos) {
    *error = "lp: " + r.out;
    return -1;
  }
  return std::atoi(r.out.c_str() + at + marker.size());
}

JobStatus CupsSandbox::Job(int id) const {
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
  const std::string uri = "ipp://localhost/jobs/" + std::to_string(id);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
  JobStatus s;
  ipp_t* response = Ask(dir_ + "/cups.sock", 0, request, "/");
  if (!response) return s;
  if (ipp_attribute_t* a = ippFindAttribute(response, "job-state", IPP_TAG_ENUM)) {
    s.state = ippGetInteger(a, 0);
  }
  if (ipp_attribute_t* a =
          ippFindAttribute(response, "job-impressions-completed", IPP_TAG_INTEGER)) {
    s.impressions = ippGetInteger(a, 0);
  }
  if (ipp_attribute_t* a = ippFindAttribute(response, "job-printer-state-message", IPP_TAG_TEXT)) {
    s.message = ippGetString(a, 0, nullptr);
  }
  ippDelete(response);
  return s;
}

JobStatus CupsSandbox::WaitFinished(int id, seconds timeout) const {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  JobStatus s = Job(id);
  // A stopped job (a failed filter) stays stopped; so, one that stays
  // stopped for a moment is finished.
  int stopped_polls = 0;
  while (
      (s.state < IPP_JSTATE_STOPPED || (s.state == IPP_JSTATE_STOPPED && stopped_polls++ < 10)) &&
      std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(milliseconds(50));
    s = Job(id);
  }
  return s;
}

std::string CupsSandbox::Received(const std::string& title) const {
  std::error_code ec;
  for (const auto& f : fs::directory_iterator(dir_ + "/printer", ec)) {
    const std::string name = f.path().filename().string();
    // ippeveprinter keeps "<its job id>-<job name>.pcl", and the print
    // command's output beside it as ".prn".
    const std::size_t dash = name.find('-');
    if (dash != std::string::npos && name.substr(dash + 1) == title + ".pcl") {
      return ReadText(f.path().string());
    }
  }
  return "";
}

int CupsSandbox::PrinterCopies(const std::string& title) const {
  ipp_t* request = ippNewRequest(IPP_OP_GET_JOBS);
  const std::string uri = "ipp://localhost:" + std::to_string(printer_port_) + "/ipp/print";
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "which-jobs", nullptr, "all");
  const char* wanted[] = {"job-name", "copies"};
  ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr,
                wanted);
  ipp_t* response = Ask("localhost", printer_port_, request, "/ipp/print");
  int copies = -1;
  if (!response) return copies;
  // One group of job attributes per job, separated by group changes.
  std::string name;
  int job_copies = 0;
  for (ipp_attribute_t* a = ippFirstAttribute(response); a; a = ippNextAttribute(response)) {
    const char* n = ippGetName(a);
    if (!n) {  // a separator: the end of one job's attributes
      if (name == title) copies = job_copies;
      name.clear();
      job_copies = 0;
      continue;
    }
    if (std::string(n) == "job-name") name = ippGetString(a, 0, nullptr);
    if (std::string(n) == "copies") job_copies = ippGetInteger(a, 0);
  }
  if (name == title) copies = job_copies;
  ippDelete(response);
  return copies;
}

}  // namespace pclspool::cups_test
