#include "printer-app/job_launcher.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "process/child_process.h"
#include "runner/exit_status.h"

namespace pclspool::app {

namespace {

// The program itself, even when its file has been replaced since it
// started (an upgrade while the server runs).
constexpr char kSelf[] = "/proc/self/exe";

// The stream is read in large blocks and written in slices: a slice is
// the most that can still reach the printer after a cancel.
constexpr std::size_t kBlockBytes = 256 * 1024;
constexpr std::size_t kSliceBytes = 16 * 1024;
// The pipe from the job process holds this much, so that it rarely waits.
constexpr int kPipeBytes = 1 << 20;
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

// The device's writes on a thread of their own: a printer that stops
// reading blocks the write, and the job must still see its cancel and stop
// its process at once. Blocks wait in a queue of bounded size; once the
// job is stopped, what is queued is dropped, and only the write under way
// (one block) can still reach the printer.
class DeviceWriter {
 public:
  explicit DeviceWriter(const std::function<bool(const uint8_t*, std::size_t)>& write)
      : write_(write), thread_([this] { Run(); }) {}
  ~DeviceWriter() { Finish(); }
  DeviceWriter(const DeviceWriter&) = delete;
  DeviceWriter& operator=(const DeviceWriter&) = delete;

  bool Full() {
    std::lock_guard<std::mutex> lock(mutex_);
    return queued_ >= kQueueBytes;
  }
  // Waits up to `ms` for room in the queue.
  void WaitForRoom(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait_for(lock, std::chrono::milliseconds(ms),
                   [this] { return queued_ < kQueueBytes || failed_ || dropped_; });
  }
  bool Failed() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
  }
  void Push(std::vector<uint8_t> block) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failed_ || dropped_) return;
    queued_ += block.size();
    queue_.push_back(std::move(block));
    wake_.notify_all();
  }
  // Nothing queued reaches the printer any more.
  void Drop() {
    std::lock_guard<std::mutex> lock(mutex_);
    dropped_ = true;
    queue_.clear();
    queued_ = 0;
  }
  // Waits until what is queued is written (or dropped).
  void Finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      closing_ = true;
      wake_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
  }

 private:
  static constexpr std::size_t kQueueBytes = 1 << 20;

  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      wake_.wait(lock, [this] { return closing_ || !queue_.empty(); });
      if (queue_.empty()) return;
      std::vector<uint8_t> block = std::move(queue_.front());
      queue_.pop_front();
      queued_ -= block.size();
      room_.notify_all();
      bool ok = true;
      for (std::size_t at = 0; ok && at < block.size() && !dropped_; at += kSliceBytes) {
        lock.unlock();
        ok = write_(block.data() + at, std::min(kSliceBytes, block.size() - at));
        lock.lock();
      }
      if (!ok) {
        failed_ = true;
        queue_.clear();
        queued_ = 0;
        room_.notify_all();
      }
    }
  }

  std::function<bool(const uint8_t*, std::size_t)> write_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable room_;
  std::deque<std::vector<uint8_t>> queue_;
  std::size_t queued_ = 0;
  bool closing_ = false;
  bool failed_ = false;
  bool dropped_ = false;
  std::thread thread_;
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
  // A larger pipe where the system allows it; the default serves too.
  ::fcntl(data.read_end(), F_SETPIPE_SZ, kPipeBytes);
  process::ChildStart child;
  child.argv = {kSelf, std::string(kJobProcessCommand)};
  for (std::string& a : JobCommandArgs(launch.command)) child.argv.push_back(std::move(a));
  child.fds = {process::ChildFd::Copy(STDOUT_FILENO, data.write_end()),
               process::ChildFd::Copy(kReportFd, report.write_end())};
  child.own_group = true;
  std::string error;
  const pid_t pid = process::StartChild(child, &error);
  data.CloseWrite();
  report.CloseWrite();
  if (pid < 0) {
    outcome.message = "cannot start the job process: " + error;
    return outcome;
  }

  ReportReader reports(launch.on_report);
  DeviceWriter writer(launch.write);
  bool stopping = false;  // cancelled, or the device failed: the process goes
  bool cancelled = false;
  bool device_failed = false;
  auto deadline = std::chrono::steady_clock::time_point::max();
  process::ChildEnd end;
  bool ended = false;  // reaped already
  auto ended_at = std::chrono::steady_clock::time_point::max();
  while (data.read_end() >= 0 || report.read_end() >= 0) {
    // A process killed whose children still hold its pipes: they go too.
    // (One that ended by itself has its output read to the end, however
    // slowly the printer takes it.)
    if (!ended && process::ChildEnded(pid, &end)) {
      ended = true;
      ended_at = std::chrono::steady_clock::now();
    }
    if (ended && end.signal != 0 &&
        std::chrono::steady_clock::now() - ended_at > std::chrono::milliseconds(kGraceMs)) {
      ::kill(-pid, SIGKILL);
      break;
    }
    if (!stopping && launch.cancelled && launch.cancelled()) cancelled = stopping = true;
    if (!stopping && writer.Failed()) device_failed = stopping = true;
    if (stopping && deadline == std::chrono::steady_clock::time_point::max()) {
      writer.Drop();
      if (!ended) ::kill(-pid, SIGTERM);
      deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kGraceMs);
    }
    if (stopping && std::chrono::steady_clock::now() > deadline) break;

    // While the printer is behind, the process waits on a full pipe, and
    // this loop on room in the queue (and on report lines).
    const bool take_data = data.read_end() >= 0 && (stopping || !writer.Full());
    if (data.read_end() >= 0 && !take_data) writer.WaitForRoom(kPollMs);
    pollfd fds[2] = {{take_data ? data.read_end() : -1, POLLIN, 0},
                     {report.read_end(), POLLIN, 0}};
    const int n = ::poll(fds, 2, take_data ? kPollMs : 0);
    if (n < 0 && errno != EINTR) break;
    if (n <= 0) continue;
    if (fds[0].revents) {
      std::vector<uint8_t> block(kBlockBytes);
      const ssize_t got = ::read(data.read_end(), block.data(), block.size());
      if (got > 0 && !stopping) {
        block.resize(static_cast<std::size_t>(got));
        writer.Push(std::move(block));
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
  if (!ended) {
    end = stopping ? process::StopChild(pid, true, kGraceMs)
                   : process::WaitChild(pid, true, {}, 10, kGraceMs);
  }
  if (end.signal != 0) ::kill(-pid, SIGKILL);
  // Before the job's end is told: the device is PAPPL's again after it.
  writer.Finish();
  device_failed = device_failed || (!stopping && writer.Failed());

  if (cancelled) {
    outcome.end = JobOutcome::End::kCancelled;
  } else if (device_failed) {
    outcome.message = "the printer stopped taking data";
  } else if (end.signal != 0 || end.status < 0) {
    outcome.message = "the job process was " + process::DescribeEnd(end);
  } else if (end.status != runner::kExitOk) {
    outcome.message = reports.last_error().empty()
                          ? "the job process " + process::DescribeEnd(end)
                          : reports.last_error();
  } else {
    outcome.end = JobOutcome::End::kPrinted;
  }
  return outcome;
}

}  // namespace pclspool::app
