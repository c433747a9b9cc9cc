#include "support/plain_class2.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace pclspool::testing {

namespace {

std::size_t PutRun(uint8_t* out, std::size_t n, int run) {
  for (; run > 255; run -= 255) {
    out[n++] = 255;
    out[n++] = 0;
  }
  out[n++] = static_cast<uint8_t>(run);
  return n;
}

}  // namespace

std::size_t PlainEncodeRow(const uint8_t* row, int width, uint8_t* out) {
  std::size_t n = 0;
  int colour = 0;  // white
  int run = 0;
  for (int x = 0; x < width; ++x) {
    const int pixel = (row[x >> 3] >> (7 - (x & 7))) & 1;
    if (pixel != colour) {
      n = PutRun(out, n, run);
      run = 0;
      colour = pixel;
    }
    ++run;
  }
  return PutRun(out, n, run);
}

std::size_t PlainCompressBitmap(const uint8_t* rows, int width, int height, uint8_t* out,
                                uint8_t* scratch) {
  const std::size_t row_bytes = (static_cast<std::size_t>(width) + 7) / 8;
  uint8_t* current = scratch;
  uint8_t* previous = scratch + width + 1;
  std::size_t previous_length = 0;
  std::size_t total = 0;
  std::size_t entry = 0;
  for (int y = 0; y < height; ++y) {
    const std::size_t length =
        PlainEncodeRow(rows + static_cast<std::size_t>(y) * row_bytes, width, current);
    if (y > 0 && length == previous_length && out[entry] < 255 &&
        std::memcmp(current, previous, length) == 0) {
      ++out[entry];
      continue;
    }
    entry = total;
    out[total++] = 0;
    std::memcpy(out + total, current, length);
    total += length;
    std::swap(current, previous);
    previous_length = length;
  }
  return total;
}

std::vector<uint8_t> PlainEncodeRow(const uint8_t* row, int width) {
  std::vector<uint8_t> out(static_cast<std::size_t>(std::max(width, 0)) + 1);
  out.resize(PlainEncodeRow(row, width, out.data()));
  return out;
}

std::vector<uint8_t> PlainCompressBitmap(const uint8_t* rows, int width, int height) {
  const std::size_t row_out = static_cast<std::size_t>(std::max(width, 0)) + 2;
  std::vector<uint8_t> out(static_cast<std::size_t>(std::max(height, 0)) * row_out);
  std::vector<uint8_t> scratch(2 * row_out);
  out.resize(PlainCompressBitmap(rows, width, height, out.data(), scratch.data()));
  return out;
}

}  // namespace pclspool::testing
