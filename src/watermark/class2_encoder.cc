#include "watermark/class2_encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <exception>
#include <limits>
#include <vector>

namespace pclspool {

namespace {

// Module-level buffers, shared by every glyph of every job (one job at a
// time runs the watermark step). They start at their nominal sizes and
// grow, never shrink, when a wider glyph comes: no allocation per row or
// per glyph once they are large enough.
std::vector<uint8_t> g_row_scratch;  // the encoding of the row being encoded
std::vector<uint8_t> g_row_result;   // the encoding of the last distinct row
int32_t g_row_length = 0;            // its length
std::vector<uint8_t> g_staging;      // row entries on their way to the output

// Makes buf at least max(nominal, need) bytes. False, with buf unchanged,
// when the memory cannot be had.
bool Grow(std::vector<uint8_t>& buf, std::size_t nominal, std::size_t need) {
  const std::size_t want = std::max(nominal, need);
  if (buf.size() >= want) return true;
  try {
    buf.resize(want);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

// Up to 8 bytes from p, most significant first; bytes past avail read as 0.
uint64_t LoadBigEndian(const uint8_t* p, std::size_t avail) {
  uint64_t v = 0;
  if (avail >= 8) {
    for (int i = 0; i < 8; ++i) v = (v << 8) | p[i];
    return v;
  }
  for (std::size_t i = 0; i < 8; ++i) v = (v << 8) | (i < avail ? p[i] : 0u);
  return v;
}

// Writes one run: 255, 0 for every full 255 while more than 255 remain,
// then the remainder. A white run of 0 (a row that starts black) is the
// single byte 0.
std::size_t PutRun(uint8_t* out, std::size_t n, int32_t run) {
  while (run > 255) {
    out[n++] = 255;
    out[n++] = 0;
    run -= 255;
  }
  out[n++] = static_cast<uint8_t>(run);
  return n;
}

// The run bytes of one row into out; returns their count. The row is read
// 64 pixels at a time. In each word, a 1 bit of `edges` marks a pixel whose
// colour differs from the pixel before it (the pixel before the row counts
// as white): every such pixel ends one run and starts the next, so a word
// inside a long run costs one test, and each run one count of leading
// zeros. Pixels past the width (the padding bits of the last byte) are
// masked off and never end a run.
std::size_t EncodeRuns(const uint8_t* row, int32_t width, uint8_t* out) {
  constexpr uint64_t kTop = uint64_t{1} << 63;
  const std::size_t row_bytes = (static_cast<std::size_t>(width) + 7) / 8;
  std::size_t n = 0;
  int32_t run_start = 0;  // the first pixel of the run in progress
  uint64_t before = 0;    // the colour of the pixel before the word
  for (int32_t base = 0; base < width; base += 64) {
    const auto byte = static_cast<std::size_t>(base) >> 3;
    const uint64_t bits = LoadBigEndian(row + byte, row_bytes - byte);
    const int32_t valid = std::min<int32_t>(64, width - base);
    uint64_t edges = bits ^ ((bits >> 1) | (before << 63));
    if (valid < 64) edges &= ~(~uint64_t{0} >> valid);
    before = (bits >> (64 - valid)) & 1;
    if (edges == ~uint64_t{0}) {
      // Every pixel starts a run, the word's first one ending the run
      // before it: alternating pixels, the most runs a word can hold.
      n = PutRun(out, n, base - run_start);
      std::memset(out + n, 1, 63);
      n += 63;
      run_start = base + 63;
      continue;
    }
    while (edges != 0) {
      const int32_t at = base + std::countl_zero(edges);
      n = PutRun(out, n, at - run_start);
      run_start = at;
      edges ^= kTop >> (at - base);
    }
  }
  // The last run, white or black, is always written.
  return PutRun(out, n, width - run_start);
}

// Whether two encodings of n bytes are equal. Glyph rows encode in a few
// bytes, for which a plain loop beats a library call.
bool SameBytes(const uint8_t* a, const uint8_t* b, std::size_t n) {
  if (n > 32) return std::memcmp(a, b, n) == 0;
  for (std::size_t i = 0; i < n; ++i) {
    if (a[i] != b[i]) return false;
  }
  return true;
}

}  // namespace

int32_t EncodeRow(const uint8_t* row, int16_t width, int32_t first_row) {
  if (width <= 0) {
    g_row_length = 0;
    return 0;
  }
  // The longest encoding, single-pixel runs starting black, is width + 1.
  const std::size_t worst = static_cast<std::size_t>(width) + 1;
  if ((g_row_scratch.size() < worst || g_row_result.size() < worst) &&
      (!Grow(g_row_scratch, kRowBufferBytes, worst) || !Grow(g_row_result, kRowBufferBytes, worst)))
    return kEncodeFailed;

  uint8_t* scratch = g_row_scratch.data();
  const std::size_t n = EncodeRuns(row, width, scratch);

  // Rows of one width have equal encodings exactly when their pixels are
  // equal, so comparing encodings finds repeated rows.
  const auto length = static_cast<int32_t>(n);
  if (!first_row && length == g_row_length && SameBytes(scratch, g_row_result.data(), n)) return 0;
  // The new encoding becomes the row result by trading the two buffers
  // (both take any row of this width) instead of copying it.
  g_row_scratch.swap(g_row_result);
  g_row_length = length;
  return length;
}

const uint8_t* RowResult() { return g_row_result.data(); }
int32_t RowResultLength() { return g_row_length; }

std::size_t MaxCompressedSize(int16_t width, int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  const std::size_t entry = static_cast<std::size_t>(width) + 2;
  const auto rows = static_cast<std::size_t>(height);
  if (rows > std::numeric_limits<std::size_t>::max() / entry)
    return std::numeric_limits<std::size_t>::max();
  return rows * entry;
}

std::size_t CompressBitmap(const uint8_t* rows, int16_t width, int32_t height, uint8_t* out,
                           std::size_t capacity) {
  if (!rows || !out || width <= 0 || height <= 0) return 0;
  // The staging area must take one whole entry (at most width + 2 bytes);
  // only glyphs wider than 16382 pixels make it grow beyond 16384.
  if (!Grow(g_staging, kStagingBytes, static_cast<std::size_t>(width) + 2)) return 0;

  uint8_t* staging = g_staging.data();
  std::size_t staged = 0;  // bytes in the staging area
  std::size_t entry = 0;   // offset of the current entry's repeat byte
  std::size_t total = 0;   // bytes moved to out

  auto flush = [&]() -> bool {
    if (staged > capacity - total) return false;
    std::memcpy(out + total, staging, staged);
    total += staged;
    staged = 0;
    return true;
  };
  // Opens an entry with the encoding in the row result buffer. The staged
  // bytes move to out first unless the entry fits below 16384.
  auto open = [&](int32_t length) -> bool {
    const auto len = static_cast<std::size_t>(length);
    if (staged + len + 1 >= kStagingBytes && !flush()) return false;
    entry = staged;
    staging[staged++] = 0;
    std::memcpy(staging + staged, g_row_result.data(), len);
    staged += len;
    return true;
  };

  const std::size_t row_bytes = (static_cast<std::size_t>(width) + 7) / 8;
  for (int32_t i = 0; i < height; ++i) {
    const int32_t length =
        EncodeRow(rows + static_cast<std::size_t>(i) * row_bytes, width, i == 0 ? 1 : 0);
    if (length == kEncodeFailed) return 0;
    if (length == 0 && staging[entry] < 255) {
      ++staging[entry];
      continue;
    }
    // A new row, or a repeat once the entry counts 255: the repeat byte
    // never wraps, the row opens an entry of its own with the encoding the
    // row result buffer still holds.
    if (!open(length != 0 ? length : g_row_length)) return 0;
  }
  return flush() ? total : 0;
}

}  // namespace pclspool
