#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
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
using Clock = std::chrono::steady_clock;

// A failing program's output is quoted in messages up to this length.
constexpr std::size_t kQuotedOutput = 2000;
// Without a pidfd the end of a child is looked for this often.
constexpr milliseconds kPollTick{10};

// What the child could not do before exec, sent to the parent.
enum Step : int { kStdin, kStdout, kStderr, kDirectory, kLimit, kExec };
struct ChildFailure {
  int step;
  int error;
};

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
  for (std::size_t done = 0; done < bytes.size();) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return ::close(fd), -1;
    done += static_cast<std::size_t>(n);
  }
  ::lseek(fd, 0, SEEK_SET);
  return fd;
}

int WaitStatus(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// In the child, between fork and exec: async-signal-safe calls only.
[[noreturn]] void Fail(int report, Step step) {
  const ChildFailure f{step, errno};
  [[maybe_unused]] const ssize_t n = ::write(report, &f, sizeof(f));
  ::_exit(127);
}

int OpenInput(const Input& in, int bytes_fd, int pipe_end) {
  switch (in.kind) {
    case Input::Kind::kNull: return ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    case Input::Kind::kFile: return ::open(in.value.c_str(), O_RDONLY | O_CLOEXEC);
    case Input::Kind::kBytes: return bytes_fd;
    case Input::Kind::kPipe: return pipe_end;
  }
  return -1;
}

int OpenOutput(const Output& o, int pipe_end) {
  switch (o.kind) {
    case Output::Kind::kNull: return ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    case Output::Kind::kFile:
      return ::open(o.path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    default: return pipe_end;
  }
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
    const std::string dir = dirs.substr(from, colon - from);
    const std::string candidate = dir + "/" + name;
    if (!dir.empty() && ::access(candidate.c_str(), X_OK) == 0) return candidate;
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
  int report[2], in_pipe[2] = {-1, -1}, out_pipe[2] = {-1, -1}, err_pipe[2] = {-1, -1};
  if (::pipe2(report, O_CLOEXEC) != 0) {
    run_.error = std::string("pipe: ") + std::strerror(errno);
    return;
  }
  const auto is_pipe = [](const Output& o) {
    return o.kind == Output::Kind::kCapture || o.kind == Output::Kind::kPipe ||
           o.kind == Output::Kind::kClosedPipe;
  };
  int bytes_fd = -1;
  bool ok = true;
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
    const int in = OpenInput(p.in, bytes_fd, in_pipe[0]);
    if (in < 0 || ::dup2(in, 0) < 0) Fail(report[1], kStdin);
    const int out = OpenOutput(p.out, out_pipe[1]);
    if (out < 0 || ::dup2(out, 1) < 0) Fail(report[1], kStdout);
    const int err = p.err.kind == Output::Kind::kStdout ? 1 : OpenOutput(p.err, err_pipe[1]);
    if (err < 0 || ::dup2(err, 2) < 0) Fail(report[1], kStderr);
    if (!dir.empty() && ::chdir(dir.c_str()) != 0) Fail(report[1], kDirectory);
    if (p.file_size_limit) {
      const struct rlimit limit = {*p.file_size_limit, *p.file_size_limit};
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) Fail(report[1], kLimit);
    }
    ::execve(path.c_str(), argv.data(), envp.data());
    Fail(report[1], kExec);
  }
  const std::string fork_error = pid < 0 ? std::strerror(errno) : "";
  if (pid > 0) ::setpgid(pid, pid);  // whichever of the two runs first
  CloseFd(report[1]);
  CloseFd(in_pipe[0]);
  CloseFd(out_pipe[1]);
  CloseFd(err_pipe[1]);
  CloseFd(bytes_fd);
  if (pid < 0) {
    run_.error = "cannot start " + name + ": " + fork_error;
    for (int* fd : {&report[0], &in_pipe[1], &out_pipe[0], &err_pipe[0]}) CloseFd(*fd);
    return;
  }
  ChildFailure failure{};
  ssize_t n;
  while ((n = ::read(report[0], &failure, sizeof(failure))) < 0 && errno == EINTR) {
  }
  CloseFd(report[0]);
  if (n == sizeof(failure)) {
    int status;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const std::string what[] = {"cannot open its standard input", "cannot open its standard output",
                                "cannot open its standard error", "cannot change to " + dir,
                                "cannot set its file size limit", "cannot run it"};
    run_.error = name + ": " + what[failure.step] + ": " + std::strerror(failure.error);
    for (int* fd : {&in_pipe[1], &out_pipe[0], &err_pipe[0]}) CloseFd(*fd);
    return;
  }
  pid_ = pid;
  pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
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
    pidfd_ = std::exchange(other.pidfd_, -1);
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
  for (int* fd : {&pidfd_, &in_, &out_, &capture_[0], &capture_[1]}) CloseFd(*fd);
  pid_ = -1;
}

void ChildProcess::CloseIn() { CloseFd(in_); }

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
  const auto deadline = Clock::now() + limit;
  const auto drain = [&](int i) {
    char buf[65536];
    for (;;) {
      const ssize_t n = ::read(capture_[i], buf, sizeof(buf));
      if (n > 0) {
        (i == 0 ? run_.out : run_.err).append(buf, static_cast<std::size_t>(n));
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else {
        // The end, or nothing more for now (a grandchild may hold the pipe).
        if (n == 0) CloseFd(capture_[i]);
        return;
      }
    }
  };
  int status = 0;
  for (;;) {
    if (::waitpid(pid_, &status, WNOHANG) == pid_) break;
    const auto now = Clock::now();
    if (now >= deadline) {
      ::kill(-pid_, SIGKILL);
      ::kill(pid_, SIGKILL);
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      run_.timed_out = true;
      break;
    }
    pollfd fds[3];
    nfds_t n = 0;
    if (pidfd_ >= 0) fds[n++] = {pidfd_, POLLIN, 0};
    for (int fd : capture_) {
      if (fd >= 0) fds[n++] = {fd, POLLIN, 0};
    }
    auto wait = std::chrono::ceil<milliseconds>(deadline - now);
    if (pidfd_ < 0) wait = std::min(wait, kPollTick);
    ::poll(fds, n, static_cast<int>(wait.count()));
    for (int i = 0; i < 2; ++i) {
      if (capture_[i] >= 0) drain(i);
    }
  }
  for (int i = 0; i < 2; ++i) {
    if (capture_[i] >= 0) drain(i);
    CloseFd(capture_[i]);
  }
  ended_ = true;
  run_.status = WaitStatus(status);
  return run_;
}

ProgramRun ChildProcess::Stop(milliseconds grace) {
  Signal(SIGTERM);
  return Wait(grace);
}

ProgramRun RunProgram(const Program& program) {
  ChildProcess child(program);
  if (!child.started()) {
    ProgramRun run;
    run.error = child.error();
    return run;
  }
  return child.Wait(program.time_limit);
}

}  // namespace pclspool::testing
