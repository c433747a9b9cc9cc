#include "rendering/stdin_relay.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "platform/posix/posix_platform.h"

namespace pclspool::rendering {

namespace {

constexpr std::size_t kCopyBytes = 256 * 1024;
// How often a wait for standard input looks whether to stop.
constexpr int kPollMilliseconds = 100;

}  // namespace

int StdinRelay::Start(std::string head, uint64_t max_bytes, std::string* error) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) {
    *error = std::string("cannot pass standard input on: ") + std::strerror(errno);
    return -1;
  }
  head_ = std::move(head);
  max_bytes_ = max_bytes;
  stop_ = false;
  relayed_ = 0;
  overflowed_ = false;
  try {
    thread_ = std::thread([this, to = fds[1]] { Copy(to); });
  } catch (...) {
    ::close(fds[0]);
    ::close(fds[1]);
    *error = "cannot pass standard input on: no thread";
    return -1;
  }
  return fds[0];
}

void StdinRelay::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

void StdinRelay::Copy(int to) {
  // A child that stops reading (it has what it needs, or it died) ends the
  // copy with EPIPE. The signal that comes with it is held back in this
  // thread, and dropped when the thread ends, whatever the process does
  // with SIGPIPE.
  sigset_t pipe_signal;
  sigemptyset(&pipe_signal);
  sigaddset(&pipe_signal, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_signal, nullptr);
  bool ok = Pass(to, head_.data(), head_.size());
  std::vector<uint8_t> buf(kCopyBytes);
  while (ok && !stop_) {
    pollfd fd = {STDIN_FILENO, POLLIN, 0};
    const int r = ::poll(&fd, 1, kPollMilliseconds);
    if (r < 0 && errno != EINTR) break;
    if (r <= 0) continue;
    const ssize_t n = ::read(STDIN_FILENO, buf.data(), buf.size());
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    ok = Pass(to, buf.data(), static_cast<std::size_t>(n));
  }
  // Past the limit the child is left waiting for the rest, until the
  // caller, who sees overflowed(), has stopped it.
  while (overflowed_ && !stop_) ::poll(nullptr, 0, kPollMilliseconds);
  ::close(to);
}

bool StdinRelay::Pass(int to, const void* data, std::size_t size) {
  if (max_bytes_ > 0 && relayed_ + size > max_bytes_) {
    overflowed_ = true;
    return false;
  }
  if (!posix::WriteAll(to, data, size)) return false;
  relayed_ += size;
  return true;
}

bool RewindStdin(std::size_t head_size) {
  struct stat st {};
  if (::fstat(STDIN_FILENO, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  return ::lseek(STDIN_FILENO, -static_cast<off_t>(head_size), SEEK_CUR) >= 0;
}

}  // namespace pclspool::rendering
