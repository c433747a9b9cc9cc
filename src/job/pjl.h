// The PJL lines the module reads at the very start of a stream buffer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pclspool {

enum class PjlLine { kNone, kXDim, kYDim, kEnterPcl };

struct PjlMatch {
  PjlLine line = PjlLine::kNone;
  int32_t value = 0;  // the page dimension of kXDim and kYDim
};

// The three lines below, for a buffer that starts with '@'.
PjlMatch RecognizePjlLine(const uint8_t* bytes, std::size_t count);

// Tests the start of the buffer, case-sensitively, against "@PJL COMMENT
// XDIM=", "@PJL COMMENT YDIM=" and "@PJL ENTER LANGUAGE=PCL\n", in that
// order. Nothing beyond count bytes is read. Nearly every buffer is page
// data, which its first byte tells, here and without a call.
inline PjlMatch RecognizePjl(const uint8_t* bytes, std::size_t count) {
  if (count == 0 || bytes[0] != '@') return {};
  return RecognizePjlLine(bytes, count);
}

// Reads a decimal number as atoi does (leading white space, an optional
// sign, digits up to the first other byte; none gives 0), but saturates at
// the 32-bit limits where atoi would overflow.
int32_t ReadDecimal(const uint8_t* bytes, std::size_t count);

}  // namespace pclspool
