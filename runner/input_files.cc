#include "runner/input_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "rendering/cancel_flag.h"
#include "runner/report.h"

namespace pclspool::runner {

int OpenToRead(const std::string& path, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = path + ": " + Reason(errno);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    *error = path + ": " + Reason(EISDIR);
    return -1;
  }
  return fd;
}

bool CheckReadable(const std::string& path, std::string* error) {
  const int fd = OpenToRead(path, error);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

ssize_t ReadBlock(int fd, uint8_t* buf, std::size_t cap, const std::atomic<bool>* cancel) {
  std::size_t got = 0;
  while (got < cap) {
    const ssize_t n = ::read(fd, buf + got, cap - got);
    if (n < 0) {
      if (errno == EINTR && !IsCancelled(cancel)) continue;
      return -1;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

namespace {

constexpr std::size_t kDevmodeBytes = std::tuple_size_v<posix::DevmodeBlock>;

}  // namespace

bool LoadDevmode(const std::string& path, posix::DevmodeBlock* block, std::string* error) {
  const int fd = OpenToRead(path, error);
  if (fd < 0) return false;
  // One byte more than the block, to tell a longer file.
  uint8_t buf[kDevmodeBytes + 1];
  const ssize_t n = ReadBlock(fd, buf, sizeof(buf));
  const int err = errno;
  ::close(fd);
  if (n < 0) {
    *error = path + ": " + Reason(err);
    return false;
  }
  if (static_cast<std::size_t>(n) != kDevmodeBytes) {
    *error = path + ": " + (static_cast<std::size_t>(n) > kDevmodeBytes ? "more than" : "only") +
             " " + std::to_string(std::min<std::size_t>(n, kDevmodeBytes)) +
             " bytes; a device mode block is its DEVMODEW and DriverExtra, exactly " +
             std::to_string(kDevmodeBytes) + " bytes";
    return false;
  }
  std::memcpy(block->data(), buf, kDevmodeBytes);
  return true;
}

}  // namespace pclspool::runner
