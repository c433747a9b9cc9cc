#include "app_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

namespace pclspool::apptest {

namespace fs = std::filesystem;

namespace {

// A server can take this long to shut down: PAPPL waits for its clients'
// connections to close.
constexpr auto kStopTimeout = std::chrono::seconds(90);
constexpr auto kStartTimeout = std::chrono::seconds(30);

int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof(a);
  int port = 0;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    port = ntohs(a.sin_port);
  }
  ::close(s);
  return port;
}

bool Accepts(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
  ::close(s);
  return ok;
}

// The port can be bound again: no listener and nothing lingering.
bool PortFree(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  const int on = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  const bool ok = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0;
  ::close(s);
  return ok;
}

bool Reaped(pid_t pid) {
  int status = 0;
  return ::waitpid(pid, &status, WNOHANG) == pid;
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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
  port_ = FreePort();
}

AppServer::~AppServer() {
  if (Running()) Kill();
}

bool AppServer::Start(std::string* error) {
  const std::vector<std::string> args = {
      program_.string(), "server",
      "-o", "state-directory=" + state_.string(),
      "-o", "listen-hostname=127.0.0.1",
      "-o", "server-port=" + std::to_string(port_),
      "-o", "dnssd=off",
      "-o", "log-level=debug",
      "-o", "log-file=" + log().string()};
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const std::string out = (dir_ / "server.out").string();
  pid_ = ::fork();
  if (pid_ == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    ::dup2(in, 0);
    ::dup2(o, 1);
    ::dup2(o, 2);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  const auto until = std::chrono::steady_clock::now() + kStartTimeout;
  while (std::chrono::steady_clock::now() < until) {
    if (Accepts(port_)) return true;
    if (Reaped(pid_)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  *error = "the server did not start: " + ReadFile(dir_ / "server.out") + ReadFile(log());
  if (Running()) Kill();
  pid_ = -1;
  return false;
}

void AppServer::Stop() {
  if (!Running()) return;
  ::kill(pid_, SIGTERM);
  const auto until = std::chrono::steady_clock::now() + kStopTimeout;
  while (!Reaped(pid_) && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (std::chrono::steady_clock::now() >= until) Kill();
  pid_ = -1;
  while (!PortFree(port_) && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  fs::remove("/run/" + program_.filename().string() + ".sock");
}

void AppServer::Kill() {
  if (!Running()) return;
  ::kill(pid_, SIGKILL);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
  std::error_code ec;
  fs::remove("/run/" + program_.filename().string() + ".sock", ec);
}

fs::path AppServer::DeviceDir(const std::string& printer) const { return dir_ / ("out-" + printer); }

std::string AppServer::PrinterUri(const std::string& printer) const {
  return "ipp://127.0.0.1:" + std::to_string(port_) + "/ipp/print/" + printer;
}

render::ProgramRun AppServer::Command(const std::vector<std::string>& args) const {
  std::vector<std::string> argv = {program_.string()};
  argv.insert(argv.end(), args.begin(), args.end());
  static std::atomic<int> count{0};
  return render::RunProgram(argv, dir_ / ("command-" + std::to_string(count++) + ".log"));
}

bool AppServer::AddPrinter(const std::string& name, const std::vector<std::string>& defaults,
                           std::string* error, const std::string& device) {
  fs::create_directories(DeviceDir(name));
  const std::string system = "ipp://127.0.0.1:" + std::to_string(port_) + "/ipp/system";
  render::ProgramRun run =
      Command({"add", "-d", name, "-m", "pclspool", "-v",
               device.empty() ? "file://" + DeviceDir(name).string() : device, "-u", system});
  if (run.Ok() && !defaults.empty()) {
    // Through the domain socket: PAPPL 1.3.1's modify puts the -u URI
    // where the server does not take it.
    std::vector<std::string> args = {"modify", "-d", name};
    for (const std::string& d : defaults) {
      args.push_back("-o");
      args.push_back(d);
    }
    run = Command(args);
  }
  if (!run.Ok()) *error = run.Describe("pclspool-printer-app");
  return run.Ok();
}

}  // namespace pclspool::apptest

namespace pclspool::apptest {

namespace {

std::string CommandLine(const fs::path& proc) {
  std::string text = ReadFile(proc / "cmdline");
  for (char& c : text) c = c == '\0' ? ' ' : c;
  return text;
}

long ParentOf(const fs::path& proc) {
  const std::string status = ReadFile(proc / "status");
  const std::size_t at = status.find("PPid:");
  return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 5);
}

}  // namespace

std::vector<std::string> AppServer::JobProcesses() const {
  std::vector<std::pair<long, std::string>> all;  // pid, command line
  std::vector<long> parents;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator("/proc", ec)) {
    const std::string name = e.path().filename().string();
    if (name.find_first_not_of("0123456789") != std::string::npos) continue;
    all.emplace_back(std::atol(name.c_str()), CommandLine(e.path()));
    parents.push_back(ParentOf(e.path()));
  }
  std::vector<long> found;
  for (const auto& [pid, line] : all) {
    if (line.find(state_.string() + "/") != std::string::npos && pid != pid_) found.push_back(pid);
  }
  // Their children, and theirs.
  for (std::size_t i = 0; i < found.size(); ++i) {
    for (std::size_t j = 0; j < all.size(); ++j) {
      if (parents[j] == found[i] &&
          std::find(found.begin(), found.end(), all[j].first) == found.end()) {
        found.push_back(all[j].first);
      }
    }
  }
  std::vector<std::string> lines;
  for (const long pid : found) {
    for (const auto& [p, line] : all) {
      if (p == pid) lines.push_back(std::to_string(pid) + ": " + line);
    }
  }
  return lines;
}

long AppServer::ResidentKib() const {
  const std::string status = ReadFile("/proc/" + std::to_string(pid_) + "/status");
  const std::size_t at = status.find("VmRSS:");
  return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
}

}  // namespace pclspool::apptest
