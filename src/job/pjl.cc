#include "job/pjl.h"

#include <cstring>
#include <limits>

namespace pclspool {

namespace {

template <std::size_t N>
bool StartsWith(const uint8_t* bytes, std::size_t count, const char (&literal)[N]) {
  return count >= N - 1 && std::memcmp(bytes, literal, N - 1) == 0;
}

bool IsSpace(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

int32_t ReadDecimal(const uint8_t* bytes, std::size_t count) {
  std::size_t i = 0;
  while (i < count && IsSpace(bytes[i])) ++i;
  bool negative = false;
  if (i < count && (bytes[i] == '+' || bytes[i] == '-')) negative = bytes[i++] == '-';
  // Accumulate the magnitude up to one past INT32_MAX, enough to saturate
  // both ends.
  constexpr int64_t kLimit = int64_t{std::numeric_limits<int32_t>::max()} + 1;
  int64_t mag = 0;
  for (; i < count && bytes[i] >= '0' && bytes[i] <= '9'; ++i) {
    mag = mag * 10 + (bytes[i] - '0');
    if (mag > kLimit) mag = kLimit;
  }
  const int64_t v = negative ? -mag : mag;
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(v);
}

PjlMatch RecognizePjlLine(const uint8_t* bytes, std::size_t count) {
  static constexpr char kXDim[] = "@PJL COMMENT XDIM=";
  static constexpr char kYDim[] = "@PJL COMMENT YDIM=";
  static constexpr char kEnterPcl[] = "@PJL ENTER LANGUAGE=PCL\n";
  constexpr std::size_t kDimLen = sizeof(kXDim) - 1;
  if (StartsWith(bytes, count, kXDim))
    return {PjlLine::kXDim, ReadDecimal(bytes + kDimLen, count - kDimLen)};
  if (StartsWith(bytes, count, kYDim))
    return {PjlLine::kYDim, ReadDecimal(bytes + kDimLen, count - kDimLen)};
  if (StartsWith(bytes, count, kEnterPcl)) return {PjlLine::kEnterPcl, 0};
  return {};
}

}  // namespace pclspool
