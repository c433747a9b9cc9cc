#include "support/cups/processes.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

extern char** environ;

namespace pclspool::cups_test {

namespace {

namespace fs = std::filesystem;

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  for (std::string& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

std::vector<std::string> Environment(const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('='));
    bool replaced = false;
    for (const std::string& x : extra) replaced |= x.substr(0, x.find('=')) == name;
    if (!replaced) env.push_back(entry);
  }
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

pid_t ForkExec(const std::vector<std::string>& argv, const std::vector<std::string>& env_extra,
               int out_fd) {
  std::vector<std::string> args = argv;
  std::vector<std::string> env = Environment(env_extra);
  std::vector<char*> a = Pointers(args);
  std::vector<char*> e = Pointers(env);
  const pid_t pid = ::fork();
  if (pid == 0) {
    const int null_in = ::open("/dev/null", O_RDONLY);
    ::dup2(null_in, 0);
    ::dup2(out_fd, 1);
    ::dup2(out_fd, 2);
    // Its own process group, so that a stop reaches nothing else of ours.
    ::setpgid(0, 0);
    ::execvpe(a[0], a.data(), e.data());
    ::_exit(127);
  }
  return pid;
}

// Waits for the process to end, up to `limit`, kills it beyond; its wait
// status.
int Reap(pid_t pid, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return status;
}

int WaitStatus(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

Ran RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& env,
               std::chrono::seconds timeout) {
  Ran r;
  char name[] = "/tmp/pclspool-run.XXXXXX";
  const int fd = ::mkstemp(name);
  if (fd < 0) return r;
  ::unlink(name);
  const pid_t pid = ForkExec(argv, env, fd);
  if (pid < 0) {
    ::close(fd);
    return r;
  }
  r.status = WaitStatus(Reap(pid, timeout));
  ::lseek(fd, 0, SEEK_SET);
  char buf[4096];
  for (ssize_t n; (n = ::read(fd, buf, sizeof(buf))) > 0;) r.output.append(buf, n);
  ::close(fd);
  return r;
}

pid_t Spawn(const std::vector<std::string>& argv, const std::vector<std::string>& env,
            const std::string& log) {
  const int fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  const pid_t pid = ForkExec(argv, env, fd);
  ::close(fd);
  return pid;
}

void Stop(pid_t pid, std::chrono::milliseconds grace) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  Reap(pid, grace);
}

bool OnPath(const std::string& program) {
  if (program.find('/') != std::string::npos) return ::access(program.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  dirs += ":/usr/sbin:/sbin";
  std::size_t start = 0;
  while (start <= dirs.size()) {
    const std::size_t end = dirs.find(':', start);
    const std::string dir =
        dirs.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

int FreePort() {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof(a);
  int port = -1;
  if (s >= 0 && ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    port = ntohs(a.sin_port);
  }
  if (s >= 0) ::close(s);
  return port;
}

std::vector<pid_t> ProcessesWith(const std::string& entry) {
  std::vector<pid_t> pids;
  std::error_code ec;
  for (const auto& proc : fs::directory_iterator("/proc", ec)) {
    const std::string name = proc.path().filename().string();
    if (name.empty() || name.find_first_not_of("0123456789") != std::string::npos) continue;
    std::ifstream in(proc.path() / "environ", std::ios::binary);
    const std::string env((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Entries are NUL-separated.
    for (std::size_t at = 0; at < env.size(); at = env.find('\0', at) + 1) {
      if (env.compare(at, entry.size() + 1, entry + '\0') == 0 ||
          (env.compare(at, entry.size(), entry) == 0 && at + entry.size() == env.size())) {
        pids.push_back(static_cast<pid_t>(std::stoi(name)));
        break;
      }
      if (env.find('\0', at) == std::string::npos) break;
    }
  }
  return pids;
}

}  // namespace pclspool::cups_test
