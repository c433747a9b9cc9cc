// Hands the command's standard input on to a child through a pipe, after
// the bytes of it already read to tell what the input is. A thread of its
// own copies it, so that the child reads it at its own pace.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>

namespace pclspool::rendering {

class StdinRelay {
 public:
  StdinRelay() = default;
  StdinRelay(const StdinRelay&) = delete;
  StdinRelay& operator=(const StdinRelay&) = delete;
  ~StdinRelay() { Stop(); }

  // Starts copying `head`, then standard input up to its end, into a new
  // pipe. Returns the pipe's read end for the child (the caller closes it
  // once the child has it), or -1 with *error set. Beyond max_bytes (0: no
  // limit) nothing more is copied and overflowed() comes true; the pipe
  // then stays open until Stop, so that the child never takes a document
  // cut short for a whole one.
  int Start(std::string head, uint64_t max_bytes, std::string* error);
  // Stops copying (at once when standard input has nothing to give) and
  // waits for the thread.
  void Stop();

  // The bytes handed on so far, for a caller that waits on the child.
  uint64_t relayed() const { return relayed_; }
  bool overflowed() const { return overflowed_; }

 private:
  void Copy(int to);
  bool Pass(int to, const void* data, std::size_t size);

  std::string head_;
  uint64_t max_bytes_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<uint64_t> relayed_{0};
  std::atomic<bool> overflowed_{false};
  std::thread thread_;
};

// The standard input, rewound by `head_size` bytes already read from it,
// when it is a file that can be rewound: a child may then read it itself.
bool RewindStdin(std::size_t head_size);

}  // namespace pclspool::rendering
