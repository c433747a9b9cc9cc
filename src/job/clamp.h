// Conversions to 32-bit signed values that saturate instead of overflowing.
// The watermark arithmetic works on values read from the INI file and the
// job's PJL, which nothing bounds; inside the 32-bit range these are plain
// truncations toward zero.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace pclspool {

inline int32_t ClampToInt32(int64_t v) {
  if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

// Truncates toward zero; NaN gives 0.
inline int32_t TruncToInt32(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483648.0) return std::numeric_limits<int32_t>::max();
  if (v <= -2147483649.0) return std::numeric_limits<int32_t>::min();
  return static_cast<int32_t>(v);
}

}  // namespace pclspool
