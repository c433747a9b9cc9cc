// The module's one formatter for trace lines, PCL and HP-GL/2 commands.
// It follows the wsprintfW/wsprintfA conventions rather than printf's:
//   %d %i %u %x %X   32-bit values (an "l" before them changes nothing)
//   %c               one character (%c takes the low 8 bits in FormatA)
//   %ws %s %hs       strings (%ws always wide, %hs always narrow, %s the
//                    formatter's own width); a null string prints "(null)"
//   %%               a percent sign
// with the flags '-', '0' and '#' (0x before hex), a width and a precision.
// An unknown conversion writes its letter. Output stops at the buffer's
// capacity, always leaving room for the terminating NUL.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace pclspool {

struct FormatArg {
  enum class Kind { kInt, kWide, kNarrow };
  Kind kind;
  int64_t value = 0;
  const char16_t* wide = nullptr;
  const char* narrow = nullptr;

  template <std::integral T>
  FormatArg(T v) : kind(Kind::kInt), value(static_cast<int64_t>(v)) {}
  FormatArg(const char16_t* s) : kind(Kind::kWide), wide(s) {}
  FormatArg(const char* s) : kind(Kind::kNarrow), narrow(s) {}
};

// Formats into buf (capacity in code units, the NUL included) and returns
// the number of code units written without the NUL.
int FormatW(char16_t* buf, std::size_t capacity, const char16_t* format,
            std::initializer_list<FormatArg> args);
int FormatA(char* buf, std::size_t capacity, const char* format,
            std::initializer_list<FormatArg> args);

}  // namespace pclspool
