#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

extern char** environ;

namespace pclspool::testing {

namespace {

using std::chrono::milliseconds;

// A failing program's output is quoted in messages up to this length.
constexpr std::size_t kQuotedOutput = 2000;

// What the child could not do before exec, sent to the parent: the step
// (an index into kSteps) and errno.
constexpr const char* kSteps[] = {"cannot open its standard input", "cannot open its standard output",
                                  "cannot open its standard error", "cannot change to",
                                  "cannot set its file size limit", "cannot run it"};

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

std::vector<std::string> Environment(const Program& p) {
  std::vector<std::string> env;
  for (char** e = p.inherit_env ? environ : nullptr; e && *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('=') + 1);
    bool replaced = false;
    for (const std::string& x : p.env) replaced |= x.compare(0, name.size(), name) == 0;
    if (!replaced) env.push_back(entry);
  }
  env.insert(env.end(), p.env.begin(), p.env.end());
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  for (std::string& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

// An unlinked temporary file holding `bytes`, at its start; -1 on failure.
int BytesFile(const std::string& bytes) {
  std::string name = (std::filesystem::temp_directory_path() / "pclspool-stdin.XXXXXX").string();
  const int fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  ::unlink(name.c_str());
  if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    return ::close(fd), -1;
  }
  ::lseek(fd, 0, SEEK_SET);
  return fd;
}

// The descriptor the child's stream `target` gets: what the parent opened
// (a pipe's end, the bytes file), or a file opened here. Between fork and
// exec: async-signal-safe calls only; on failure the step and errno go to
// `report`.
void Redirect(int fd, int target, int step, int report) {
  if (fd < 0 || ::dup2(fd, target) < 0) {
    const int failure[2] = {step, errno};
    [[maybe_unused]] const ssize_t n = ::write(report, failure, sizeof(failure));
    ::_exit(127);
  }
}

int OpenOutput(const Output& o, int pipe_end) {
  if (o.kind != Output::Kind::kFile) return pipe_end;
  return ::open(o.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
}

}  // namespace

std::string ProgramRun::Describe(const std::string& name) const {
  if (status < 0) return name + " could not be started: " + error;
  std::string text = name + (timed_out ? " was killed at its time limit"
                                       : " exited with " + std::to_string(status));
  const std::string output = err + out;
  if (!output.empty()) text += ": " + output.substr(0, kQuotedOutput);
  return text;
}

std::string FindProgram(const std::string& name) {
  if (name.empty()) return "";
  if (name.find('/') != std::string::npos) return ::access(name.c_str(), X_OK) == 0 ? name : "";
  const char* path = std::getenv("PATH");
  // cupsd and friends live in sbin, which a user's PATH may lack.
  const std::string dirs = std::string(path ? path : "/usr/bin:/bin") + ":/usr/sbin:/sbin";
  for (std::size_t from = 0; from <= dirs.size();) {
    const std::size_t colon = std::min(dirs.find(':', from), dirs.size());
    const std::string candidate = dirs.substr(from, colon - from) + "/" + name;
    if (colon > from && ::access(candidate.c_str(), X_OK) == 0) return candidate;
    from = colon + 1;
  }
  return "";
}

ChildProcess::ChildProcess(const Program& p) {
  const std::string name = p.path.empty() ? (p.argv.empty() ? "" : p.argv[0]) : p.path;
  const std::string path = FindProgram(name);
  if (path.empty()) {
    run_.error = name.empty() ? "no program given" : name + ": no such program";
    return;
  }
  std::vector<std::string> args = p.argv.empty() ? std::vector<std::string>{name} : p.argv;
  std::vector<std::string> env = Environment(p);
  const std::vector<char*> argv = Pointers(args);
  const std::vector<char*> envp = Pointers(env);
  const std::string dir = p.dir.string();

  // Every descriptor of ours is close-on-exec; the child's three are
  // made by dup2, which clears the flag.
  int report[2] = {-1, -1}, in_pipe[2] = {-1, -1}, out_pipe[2] = {-1, -1}, err_pipe[2] = {-1, -1};
  const auto is_pipe = [](const Output& o) {
    return o.kind != Output::Kind::kFile && o.kind != Output::Kind::kStdout;
  };
  int bytes_fd = -1;
  bool ok = ::pipe2(report, O_CLOEXEC) == 0;
  if (p.in.kind == Input::Kind::kPipe) ok &= ::pipe2(in_pipe, O_CLOEXEC) == 0;
  if (p.in.kind == Input::Kind::kBytes) ok &= (bytes_fd = BytesFile(p.in.value)) >= 0;
  if (is_pipe(p.out)) ok &= ::pipe2(out_pipe, O_CLOEXEC) == 0;
  if (is_pipe(p.err)) ok &= ::pipe2(err_pipe, O_CLOEXEC) == 0;
  // Nobody will ever read these.
  if (p.out.kind == Output::Kind::kClosedPipe) CloseFd(out_pipe[0]);
  if (p.err.kind == Output::Kind::kClosedPipe) CloseFd(err_pipe[0]);
  const pid_t pid = ok ? ::fork() : -1;
  if (pid == 0) {
    ::setpgid(0, 0);
    const int in = p.in.kind == Input::Kind::kNull   ? ::open("/dev/null", O_RDONLY | O_CLOEXEC)
                   : p.in.kind == Input::Kind::kFile ? ::open(p.in.value.c_str(), O_RDONLY | O_CLOEXEC)
                   : p.in.kind == Input::Kind::kBytes ? bytes_fd
                                                      : in_pipe[0];
    Redirect(in, 0, 0, report[1]);
    Redirect(OpenOutput(p.out, out_pipe[1]), 1, 1, report[1]);
    Redirect(p.err.kind == Output::Kind::kStdout ? 1 : OpenOutput(p.err, err_pipe[1]), 2, 2,
             report[1]);
    if (!dir.empty() && ::chdir(dir.c_str()) != 0) Redirect(-1, 0, 3, report[1]);
    const struct rlimit limit = {p.file_size_limit.value_or(RLIM_INFINITY),
                                 p.file_size_limit.value_or(RLIM_INFINITY)};
    if (p.file_size_limit && ::setrlimit(RLIMIT_FSIZE, &limit) != 0) Redirect(-1, 0, 4, report[1]);
    ::execve(path.c_str(), argv.data(), envp.data());
    Redirect(-1, 0, 5, report[1]);
  }
  const std::string fork_error = ok ? std::strerror(errno) : "cannot make its pipes";
  if (pid > 0) ::setpgid(pid, pid);  // whichever of the two runs first
  for (int* fd : {&report[1], &in_pipe[0], &out_pipe[1], &err_pipe[1], &bytes_fd}) CloseFd(*fd);
  int failure[2] = {};
  ssize_t n = -1;
  while (pid > 0 && (n = ::read(report[0], failure, sizeof(failure))) < 0 && errno == EINTR) {
  }
  CloseFd(report[0]);
  if (pid < 0 || n == sizeof(failure)) {
    int status;
    while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    run_.error = pid < 0 ? "cannot start " + name + ": " + fork_error
                         : name + ": " + kSteps[failure[0]] + (failure[0] == 3 ? " " + dir : "") +
                               ": " + std::strerror(failure[1]);
    for (int* fd : {&in_pipe[1], &out_pipe[0], &err_pipe[0]}) CloseFd(*fd);
    return;
  }
  pid_ = pid;
  in_ = in_pipe[1];
  out_ = p.out.kind == Output::Kind::kPipe ? out_pipe[0] : -1;
  capture_[0] = p.out.kind == Output::Kind::kCapture ? out_pipe[0] : -1;
  capture_[1] = p.err.kind == Output::Kind::kCapture ? err_pipe[0] : -1;
  if (p.err.kind == Output::Kind::kPipe) CloseFd(err_pipe[0]);  // one reading end is offered
  for (int fd : capture_) {
    if (fd >= 0) ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept { *this = std::move(other); }

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    Reset();
    pid_ = std::exchange(other.pid_, -1);
    in_ = std::exchange(other.in_, -1);
    out_ = std::exchange(other.out_, -1);
    capture_[0] = std::exchange(other.capture_[0], -1);
    capture_[1] = std::exchange(other.capture_[1], -1);
    ended_ = std::exchange(other.ended_, false);
    run_ = std::move(other.run_);
  }
  return *this;
}

ChildProcess::~ChildProcess() { Reset(); }

void ChildProcess::Reset() {
  if (pid_ > 0 && !ended_) Wait(milliseconds(0));
  for (int* fd : {&in_, &out_, &capture_[0], &capture_[1]}) CloseFd(*fd);
  pid_ = -1;
}

bool ChildProcess::Ended() const {
  if (pid_ <= 0 || ended_) return true;
  siginfo_t info{};
  return ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
         info.si_pid == pid_;
}

bool ChildProcess::Signal(int signal) const {
  return pid_ > 0 && !ended_ && ::kill(pid_, signal) == 0;
}

ProgramRun ChildProcess::Wait(milliseconds limit) {
  if (pid_ <= 0 || ended_) return run_;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  // What the captured pipes hold now; at their end, closed (a grandchild
  // may hold one open long after the child ends).
  const auto drain = [&] {
    for (int i = 0; i < 2; ++i) {
      char buf[65536];
      ssize_t n = -1;
      while (capture_[i] >= 0 &&
             ((n = ::read(capture_[i], buf, sizeof(buf))) > 0 || (n < 0 && errno == EINTR))) {
        if (n > 0) (i == 0 ? run_.out : run_.err).append(buf, static_cast<std::size_t>(n));
      }
      if (n == 0) CloseFd(capture_[i]);
    }
  };
  int status = 0;
  while (::waitpid(pid_, &status, WNOHANG) != pid_) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(-pid_, SIGKILL);
      ::kill(pid_, SIGKILL);
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      run_.timed_out = true;
      break;
    }
    // Woken by output, else every 10 ms to look for the end.
    pollfd fds[2] = {{capture_[0], POLLIN, 0}, {capture_[1], POLLIN, 0}};
    ::poll(fds, 2, 10);
    drain();
  }
  drain();
  CloseFd(capture_[0]);
  CloseFd(capture_[1]);
  ended_ = true;
  run_.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return run_;
}

ProgramRun ChildProcess::Stop(milliseconds grace) {
  Signal(SIGTERM);
  return Wait(grace);
}

ProgramRun RunProgram(const Program& program) {
  ChildProcess child(program);
  return child.Wait(program.time_limit);  // what it is, when it did not start
}

}  // namespace pclspool::testing
