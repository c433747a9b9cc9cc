// Class 2 compression of arbitrary bitmaps: whatever the width, the height
// and the pixels (padding bits included), the strict test decoder must give
// the bitmap back, the output must stay within MaxCompressedSize, and a
// smaller output buffer must give either nothing or the same bytes.
//
// Input: a flags byte, the width (signed 16 bits), the height (16 bits), a
// capacity byte, then a pattern that is repeated to fill the bitmap, so that
// short inputs make tall glyphs with long runs of equal rows.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_check.h"
#include "support/class2_decoder.h"
#include "support/plain_class2.h"
#include "watermark/class2_encoder.h"

namespace {

// Keeps one run fast: a glyph of at most this many bytes.
constexpr std::size_t kMaxBitmapBytes = std::size_t{16} << 10;

constexpr uint8_t kNegativeHeight = 0x01;  // pass -height instead
constexpr uint8_t kSmallCapacity = 0x02;   // also compress into a shorter buffer
constexpr uint8_t kSecondWidth = 0x04;     // then a glyph of another width

std::size_t RowBytes(int width) { return (static_cast<std::size_t>(width) + 7) / 8; }

void CheckGlyph(int16_t width, int32_t height, uint8_t capacity_byte, bool small_capacity,
                const std::vector<uint8_t>& pattern) {
  std::vector<uint8_t> out(64);
  if (width <= 0 || height <= 0) {
    FUZZ_CHECK(pclspool::MaxCompressedSize(width, height) == 0);
    FUZZ_CHECK(pclspool::CompressBitmap(pattern.data(), width, height, out.data(), out.size()) ==
               0);
    return;
  }
  const std::size_t row_bytes = RowBytes(width);
  auto rows = static_cast<std::size_t>(height);
  rows = std::min(rows, kMaxBitmapBytes / row_bytes);
  height = static_cast<int32_t>(rows);

  std::vector<uint8_t> bitmap(row_bytes * rows);
  for (std::size_t i = 0; i < bitmap.size(); ++i)
    bitmap[i] = pattern.empty() ? 0 : pattern[i % pattern.size()];
  // The same pixels with the padding bits cleared, as the decoder gives them.
  std::vector<uint8_t> expected = bitmap;
  const int used_bits = (width - 1) % 8 + 1;
  const auto pad_mask = static_cast<uint8_t>(0xFF << (8 - used_bits));
  for (std::size_t r = 0; r < rows; ++r) expected[r * row_bytes + row_bytes - 1] &= pad_mask;

  // One row against the plain walk, padding bits and all.
  const std::vector<uint8_t> plain = pclspool::testing::PlainEncodeRow(bitmap.data(), width);
  FUZZ_CHECK(pclspool::EncodeRow(bitmap.data(), width, 1) == static_cast<int32_t>(plain.size()));
  FUZZ_CHECK(std::equal(plain.begin(), plain.end(), pclspool::RowResult()));

  const std::size_t max = pclspool::MaxCompressedSize(width, height);
  FUZZ_CHECK(max >= rows * 3);
  out.assign(max, 0xAA);
  const std::size_t n = pclspool::CompressBitmap(bitmap.data(), width, height, out.data(), max);
  FUZZ_CHECK(n > 0 && n <= max);
  const pclspool::testing::DecodedBitmap decoded =
      pclspool::testing::DecodeClass2(out.data(), n, width, height);
  if (!decoded.ok()) pclspool::fuzz::Fail(__FILE__, __LINE__, decoded.error.c_str());
  FUZZ_CHECK(decoded.rows == expected);

  if (small_capacity) {
    // A buffer short of what the glyph needs gives nothing; one that is
    // large enough gives the same bytes.
    const std::size_t capacity = n * capacity_byte / 255;
    std::vector<uint8_t> small(capacity + 1, 0x55);
    const std::size_t m =
        pclspool::CompressBitmap(bitmap.data(), width, height, small.data(), capacity);
    FUZZ_CHECK(m == (capacity >= n ? n : 0));
    if (m) FUZZ_CHECK(std::equal(out.begin(), out.begin() + m, small.begin()));
    FUZZ_CHECK(small[capacity] == 0x55);  // nothing written past the capacity
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  pclspool::fuzz::InputReader in(data, size);
  const uint8_t flags = in.U8();
  const auto width = static_cast<int16_t>(in.U16());
  int32_t height = in.U16();
  const uint8_t capacity = in.U8();
  const auto rest = in.Bytes(in.left());
  const std::vector<uint8_t> pattern(rest.begin(), rest.end());
  if (flags & kNegativeHeight) height = -height;

  CheckGlyph(width, height, capacity, (flags & kSmallCapacity) != 0, pattern);
  if (flags & kSecondWidth) {
    // The module's buffers have grown (or not) for the first glyph: a glyph
    // of another width must not see anything of it.
    const auto other = static_cast<int16_t>(width ^ (capacity << 4 | 0x5));
    CheckGlyph(other, height < 0 ? -height : height, capacity, false, pattern);
  }
  return 0;
}
