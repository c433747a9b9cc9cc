// Read-ahead for files that are read back whole in small blocks (page files
// replayed 8192 bytes at a time): one large read fills a block that serves
// the small reads after it, so a replay makes one read call per MiB
// instead of one per block. A read call costs far more than copying 8192
// bytes out of a block that is still in the cache.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/posix/aligned_block.h"

namespace pclspool::posix {

class ReadAheadTable {
 public:
  static constexpr std::size_t kBlockBytes = 1024 * 1024;

  ReadAheadTable();

  // Starts read-ahead on fd, which is open for reading at its start.
  void Start(int fd);
  // Ends read-ahead on fd; call before closing it. Unread bytes are dropped.
  void Stop(int fd);
  // Reads up to count bytes from fd, like read(2) across EINTR: from its
  // block when read-ahead runs on fd, else straight from the file.
  ssize_t Read(int fd, void* buf, std::size_t count);

 private:
  struct Stream {
    std::unique_ptr<AlignedBlock> block;
    std::size_t begin = 0;  // next unread byte in block
    std::size_t end = 0;    // end of the bytes read into block
  };

  std::mutex mu_;
  // Node-based: a Stream stays where it is while other fds come and go, so
  // its reader works on it outside the lock (one reader per fd).
  std::unordered_map<int, Stream> streams_;
  // Blocks of stopped streams, kept for the next page file.
  std::vector<std::unique_ptr<AlignedBlock>> spare_;
};

}  // namespace pclspool::posix
