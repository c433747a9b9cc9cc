#include "platform/posix/read_ahead.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace pclspool::posix {

namespace {

ssize_t ReadFd(int fd, void* buf, std::size_t count) {
  ssize_t n;
  do {
    n = ::read(fd, buf, count);
  } while (n < 0 && errno == EINTR);
  return n;
}

}  // namespace

// Blocks kept for reuse: one per job that replays at the same time, for a
// few jobs; more are freed. Reserved up front, so keeping one never
// allocates.
ReadAheadTable::ReadAheadTable() { spare_.reserve(4); }

void ReadAheadTable::Start(int fd) {
  std::unique_ptr<AlignedBlock> block;
  {
    std::lock_guard lock(mu_);
    if (!spare_.empty()) {
      block = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  // A block that cannot be had leaves fd without read-ahead: reads go
  // straight to the file.
  if (!block) block.reset(new (std::nothrow) AlignedBlock(kBlockBytes));
  if (!block || !block->data()) return;
  std::lock_guard lock(mu_);
  try {
    streams_[fd] = Stream{std::move(block), 0, 0};
  } catch (const std::bad_alloc&) {
    // No room for the entry: fd is read without read-ahead.
  }
}

void ReadAheadTable::Stop(int fd) {
  std::lock_guard lock(mu_);
  auto it = streams_.find(fd);
  if (it == streams_.end()) return;
  if (spare_.size() < spare_.capacity()) spare_.push_back(std::move(it->second.block));
  streams_.erase(it);
}

ssize_t ReadAheadTable::Read(int fd, void* buf, std::size_t count) {
  Stream* s = nullptr;
  {
    std::lock_guard lock(mu_);
    auto it = streams_.find(fd);
    if (it != streams_.end()) s = &it->second;
  }
  if (!s || count == 0) return ReadFd(fd, buf, count);
  if (s->begin == s->end) {
    // A read as large as the block gains nothing from it.
    if (count >= kBlockBytes) return ReadFd(fd, buf, count);
    const ssize_t n = ReadFd(fd, s->block->data(), kBlockBytes);
    if (n <= 0) return n;
    s->begin = 0;
    s->end = static_cast<std::size_t>(n);
  }
  const std::size_t n = std::min(count, s->end - s->begin);
  std::memcpy(buf, s->block->data() + s->begin, n);
  s->begin += n;
  return static_cast<ssize_t>(n);
}

}  // namespace pclspool::posix
