#include "app_server.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "support/loopback_port.h"
#include "support/test_files.h"

namespace pclspool::apptest {

namespace fs = std::filesystem;

namespace {

// A server can take this long to shut down: PAPPL waits for its clients'
// connections to close.
constexpr auto kStopTimeout = std::chrono::seconds(90);
constexpr auto kStartTimeout = std::chrono::seconds(30);

}  // namespace

std::string AppPath() { return PCLSPOOL_PRINTER_APP_PATH; }

std::string MissingIppTools() {
  if (::access("/usr/bin/ipptool", X_OK) != 0) {
    return "ipptool is missing (Debian package cups-ipp-utils; scripts/install-deps)";
  }
  return "";
}

AppServer::AppServer(fs::path dir) : dir_(std::move(dir)), state_(dir_ / "state") {
  static std::atomic<int> count{0};
  program_ = dir_ / ("pclspool-app-test-" + std::to_string(::getpid()) + "-" +
                     std::to_string(count++));
  fs::create_directories(dir_);
  fs::create_symlink(AppPath(), program_);
  port_ = testing::FreeLoopbackPort();
}

AppServer::~AppServer() { Kill(); }

bool AppServer::Start(std::string* error) {
  // A temporary directory of its own, which the tests can see empty.
  fs::create_directories(temp_dir());
  std::vector<std::string> argv = {
      program_.string(), "server", "-o", "state-directory=" + state_.string(), "-o",
      "listen-hostname=127.0.0.1", "-o", "server-port=" + std::to_string(port_), "-o", "dnssd=off",
      "-o", "log-level=debug", "-o", "log-file=" + log().string()};
  for (const std::string& option : options_) argv.insert(argv.end(), {"-o", option});
  server_ = testing::ChildProcess(
      {.argv = argv,
       .env = {"TMPDIR=" + temp_dir().string()},
       .out = testing::Output::File(dir_ / "server.out"),
       .err = testing::Output::Stdout()});
  const auto until = std::chrono::steady_clock::now() + kStartTimeout;
  while (server_.started() && std::chrono::steady_clock::now() < until) {
    if (testing::LoopbackPortAccepts(port_)) return true;
    if (server_.Ended()) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  *error = "the server did not start: " + server_.error() +
           testing::ReadFile(dir_ / "server.out") + testing::ReadFile(log());
  Kill();
  return false;
}

void AppServer::Stop() {
  if (!Running()) return;
  const auto until = std::chrono::steady_clock::now() + kStopTimeout;
  server_.Stop(kStopTimeout);
  Kill();  // reaps it, and removes its socket
  while (!testing::LoopbackPortFree(port_) && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

void AppServer::Kill() {
  if (!Running()) return;
  server_.Signal(SIGKILL);
  server_.Wait(kStopTimeout);
  server_ = {};
  std::error_code ec;
  fs::remove(socket(), ec);
}

fs::path AppServer::socket() const { return "/run/" + program_.filename().string() + ".sock"; }

fs::path AppServer::DeviceDir(const std::string& printer) const { return dir_ / ("out-" + printer); }

std::string AppServer::PrinterUri(const std::string& printer) const {
  return "ipp://127.0.0.1:" + std::to_string(port_) + "/ipp/print/" + printer;
}

testing::ProgramRun AppServer::Command(const std::vector<std::string>& args) const {
  std::vector<std::string> argv = {program_.string()};
  argv.insert(argv.end(), args.begin(), args.end());
  return testing::RunProgram({.argv = argv, .err = testing::Output::Stdout()});
}

bool AppServer::AddPrinter(const std::string& name, const std::vector<std::string>& defaults,
                           std::string* error, const std::string& device) {
  fs::create_directories(DeviceDir(name));
  // Through the domain socket, the administrator's door.
  testing::ProgramRun run = Command({"add", "-d", name, "-m", "pclspool", "-v",
                                     device.empty() ? "file://" + DeviceDir(name).string() : device});
  if (run.Ok() && !defaults.empty()) {
    std::vector<std::string> args = {"modify", "-d", name};
    for (const std::string& d : defaults) args.insert(args.end(), {"-o", d});
    run = Command(args);
  }
  if (!run.Ok()) *error = run.Describe("pclspool-printer-app");
  return run.Ok();
}

std::vector<std::string> AppServer::JobProcesses() const {
  std::vector<std::pair<long, std::string>> all;  // pid, command line
  std::vector<long> parents;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator("/proc", ec)) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::string line = testing::ReadFile(e.path() / "cmdline");
    std::replace(line.begin(), line.end(), '\0', ' ');
    all.emplace_back(std::atol(name.c_str()), name + ": " + line);
    const std::string status = testing::ReadFile(e.path() / "status");
    const std::size_t at = status.find("PPid:");
    parents.push_back(at == std::string::npos ? -1 : std::atol(status.c_str() + at + 5));
  }
  // Those naming the state directory, then their children, and theirs.
  std::vector<std::size_t> found;  // into `all`
  for (std::size_t j = 0; j < all.size(); ++j) {
    if (all[j].second.find(state_.string() + "/") != std::string::npos && all[j].first != pid()) {
      found.push_back(j);
    }
  }
  for (std::size_t i = 0; i < found.size(); ++i) {
    for (std::size_t j = 0; j < all.size(); ++j) {
      if (parents[j] == all[found[i]].first && std::find(found.begin(), found.end(), j) == found.end()) {
        found.push_back(j);
      }
    }
  }
  std::vector<std::string> lines;
  for (const std::size_t j : found) lines.push_back(all[j].second);
  return lines;
}

pid_t AppServer::JobProcess(int printer_id, int job_id) const {
  const std::string work_dir = "/jobs/" + std::to_string(printer_id) + "-" + std::to_string(job_id) + " ";
  for (const std::string& p : JobProcesses()) {
    if (p.find("job-process") != std::string::npos && p.find(work_dir) != std::string::npos) {
      return std::atoi(p.c_str());
    }
  }
  return 0;
}

long AppServer::ResidentKib() const {
  const std::string status = testing::ReadFile("/proc/" + std::to_string(pid()) + "/status");
  const std::size_t at = status.find("VmRSS:");
  return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

}  // namespace pclspool::apptest
