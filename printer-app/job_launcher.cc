#include "printer-app/job_launcher.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include "printer-app/child_process.h"
#include "runner/exit_status.h"

namespace pclspool::app {

namespace {

// The program itself, even when its file has been replaced since it
// started (an upgrade while the server runs).
constexpr char kSelf[] = "/proc/self/exe";

constexpr std::size_t kBlockBytes = 64 * 1024;
constexpr int kPollMs = 100;
// After a cancel or a device failure: how long the process may take to
// end by itself before it and its children are killed.
constexpr int kGraceMs = 3000;

class Pipe {
 public:
  ~Pipe() { Close(); }
  bool Open() { return ::pipe2(fds_, O_CLOEXEC) == 0; }
  int read_end() const { return fds_[0]; }
  int write_end() const { return fds_[1]; }
  void CloseWrite() { CloseFd(&fds_[1]); }
  void CloseRead() { CloseFd(&fds_[0]); }
  void Close() {
    CloseRead();
    CloseWrite();
  }

 private:
  static void CloseFd(int* fd) {
    if (*fd >= 0) ::close(*fd);
    *fd = -1;
  }
  int fds_[2] = {-1, -1};
};

// Report lines as they arrive, split at newlines.
class ReportReader {
 public:
  explicit ReportReader(const std::function<void(const ReportLine&)>& on) : on_(on) {}
  void Take(const char* data, std::size_t size) {
    pending_.append(data, size);
    std::size_t start = 0;
    for (std::size_t nl; (nl = pending_.find('\n', start)) != std::string::npos; start = nl + 1) {
      const ReportLine line = ParseReportLine(std::string_view(pending_).substr(start, nl - start));
      if (line.kind == ReportLine::Kind::kError) last_error_ = line.text;
      if (on_) on_(line);
    }
    pending_.erase(0, start);
  }
  const std::string& last_error() const { return last_error_; }

 private:
  std::function<void(const ReportLine&)> on_;
  std::string pending_;
  std::string last_error_;
};

}  // namespace

JobOutcome LaunchJob(const JobLaunch& launch) {
  JobOutcome outcome;
  Pipe data;
  Pipe report;
  if (!data.Open() || !report.Open()) {
    outcome.message = std::string("cannot start the job process: ") + strerror(errno);
    return outcome;
  }
  ChildSpec spec;
  spec.argv = {kSelf, std::string(kJobProcessCommand)};
  for (std::string& a : JobCommandArgs(launch.command)) spec.argv.push_back(std::move(a));
  spec.fds = {{data.write_end(), STDOUT_FILENO}, {report.write_end(), kReportFd}};
  spec.own_group = true;
  std::string error;
  const pid_t pid = StartChild(spec, &error);
  data.CloseWrite();
  report.CloseWrite();
  if (pid < 0) {
    outcome.message = "cannot start the job process: " + error;
    return outcome;
  }

  ReportReader reports(launch.on_report);
  bool stopping = false;  // cancelled, or the device failed: discard the stream
  bool cancelled = false;
  bool device_failed = false;
  auto deadline = std::chrono::steady_clock::time_point::max();
  std::vector<uint8_t> block(kBlockBytes);
  while (data.read_end() >= 0 || report.read_end() >= 0) {
    if (!stopping && launch.cancelled && launch.cancelled()) {
      cancelled = stopping = true;
    }
    if (stopping && deadline == std::chrono::steady_clock::time_point::max()) {
      ::kill(-pid, SIGTERM);
      deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGraceMs);
    }
    if (stopping && std::chrono::steady_clock::now() > deadline) break;

    pollfd fds[2] = {{data.read_end(), POLLIN, 0}, {report.read_end(), POLLIN, 0}};
    const int n = ::poll(fds, 2, kPollMs);
    if (n < 0 && errno != EINTR) break;
    if (n <= 0) continue;
    if (fds[0].revents) {
      const ssize_t got = ::read(data.read_end(), block.data(), block.size());
      if (got > 0 && !stopping && !launch.write(block.data(), static_cast<std::size_t>(got))) {
        device_failed = stopping = true;
      }
      if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) data.CloseRead();
    }
    if (fds[1].revents) {
      char text[4096];
      const ssize_t got = ::read(report.read_end(), text, sizeof(text));
      if (got > 0) reports.Take(text, static_cast<std::size_t>(got));
      if (got == 0 || (got < 0 && errno != EINTR && errno != EAGAIN)) report.CloseRead();
    }
  }
  data.Close();
  report.Close();
  // Ended by itself, or stopped now: either way nothing of it is left.
  const ChildEnd end = stopping ? StopChild(pid, true, kGraceMs)
                                : WaitChild(pid, true, {}, 10, kGraceMs);

  if (cancelled) {
    outcome.end = JobOutcome::End::kCancelled;
  } else if (device_failed) {
    outcome.message = "the printer stopped taking data";
  } else if (end.signal != 0 || end.status < 0) {
    outcome.message = "the job process was " + DescribeEnd(end);
  } else if (end.status != runner::kExitOk) {
    outcome.message = reports.last_error().empty()
                          ? "the job process " + DescribeEnd(end)
                          : reports.last_error();
  } else {
    outcome.end = JobOutcome::End::kPrinted;
  }
  return outcome;
}

}  // namespace pclspool::app
