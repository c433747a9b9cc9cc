// What the fuzz targets share: a check that stops the run with a message
// (libFuzzer keeps the input of any run that aborts), and a reader that
// takes fields off the front of a fuzz input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace pclspool::fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::abort();
}

// Takes fixed-size fields off the front of the input; past its end every
// field reads as zero and every byte string as empty, so a short input is
// just a short program.
class InputReader {
 public:
  InputReader(const uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}

  bool empty() const { return p_ == end_; }
  std::size_t left() const { return static_cast<std::size_t>(end_ - p_); }

  uint8_t U8() { return p_ < end_ ? *p_++ : 0; }
  uint16_t U16() {
    const uint16_t hi = U8();
    return static_cast<uint16_t>(hi << 8 | U8());
  }
  // Up to n bytes, fewer at the end of the input.
  std::string_view Bytes(std::size_t n) {
    if (n > left()) n = left();
    std::string_view s(reinterpret_cast<const char*>(p_), n);
    p_ += n;
    return s;
  }

 private:
  const uint8_t* p_;
  const uint8_t* end_;
};

}  // namespace pclspool::fuzz

#define FUZZ_CHECK(cond)                                                        \
  do {                                                                          \
    if (!(cond)) ::pclspool::fuzz::Fail(__FILE__, __LINE__, #cond);             \
  } while (0)
