#include "support/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "process/child_process.h"

namespace pclspool::testing {

namespace {

using std::chrono::milliseconds;

// A failing program's output is quoted in messages up to this length.
constexpr std::size_t kQuotedOutput = 2000;

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
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

// The child's descriptor `number` for an output: a file it opens, or the
// pipe's end.
process::ChildFd OutputFd(int number, const Output& o, int pipe_end) {
  if (o.kind == Output::Kind::kFile) {
    return process::ChildFd::Open(number, o.path, O_WRONLY | O_CREAT | O_TRUNC);
  }
  return process::ChildFd::Copy(number, o.kind == Output::Kind::kStdout ? STDOUT_FILENO : pipe_end);
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
  // cupsd and friends live in sbin, which a user's PATH may lack.
  return process::FindProgram(name, "/usr/sbin:/sbin");
}

ChildProcess::ChildProcess(const Program& p) {
  const std::string name = p.path.empty() ? (p.argv.empty() ? "" : p.argv[0]) : p.path;
  const std::string path = FindProgram(name);
  if (path.empty()) {
    run_.error = name.empty() ? "no program given" : name + ": no such program";
    return;
  }
  process::ChildStart start;
  start.argv = p.argv.empty() ? std::vector<std::string>{name} : p.argv;
  start.argv[0] = path;
  if (p.file_size_limit) {
    start.argv.insert(start.argv.begin(),
                      {"prlimit", "--fsize=" + std::to_string(*p.file_size_limit), "--"});
  }
  start.env = p.env;
  start.inherit_env = p.inherit_env;
  start.dir = p.dir.string();
  start.own_group = true;

  // Every descriptor of ours is close-on-exec.
  int in_pipe[2] = {-1, -1}, out_pipe[2] = {-1, -1}, err_pipe[2] = {-1, -1};
  const auto is_pipe = [](const Output& o) {
    return o.kind != Output::Kind::kFile && o.kind != Output::Kind::kStdout;
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
  switch (p.in.kind) {
    case Input::Kind::kNull: break;
    case Input::Kind::kFile: start.fds.push_back(process::ChildFd::Open(STDIN_FILENO, p.in.value, O_RDONLY)); break;
    case Input::Kind::kBytes: start.fds.push_back(process::ChildFd::Copy(STDIN_FILENO, bytes_fd)); break;
    case Input::Kind::kPipe: start.fds.push_back(process::ChildFd::Copy(STDIN_FILENO, in_pipe[0])); break;
  }
  start.fds.push_back(OutputFd(STDOUT_FILENO, p.out, out_pipe[1]));
  start.fds.push_back(OutputFd(STDERR_FILENO, p.err, err_pipe[1]));
  const pid_t pid = ok ? process::StartChild(start, &run_.error) : -1;
  if (!ok) run_.error = "cannot make the pipes of " + name;
  for (int* fd : {&in_pipe[0], &out_pipe[1], &err_pipe[1], &bytes_fd}) CloseFd(*fd);
  if (pid < 0) {
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

bool ChildProcess::Ended() const { return pid_ <= 0 || ended_ || process::ChildHasEnded(pid_); }

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
  process::ChildEnd end;
  while (!process::ChildEnded(pid_, &end)) {
    if (std::chrono::steady_clock::now() >= deadline) {
      end = process::StopChild(pid_, true, 0);
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
  run_.status = end.signal != 0 ? 128 + end.signal : end.status;
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
