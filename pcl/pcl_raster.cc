#include "pcl/pcl_raster.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace pclspool::pcl {

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr std::size_t kMaxRowBytes = (PclRasterWriter::kMaxColumns + 7) / 8;
// The longest command this writer forms: ESC, two characters, a number of
// up to 11 characters and the final character.
constexpr std::size_t kMaxCommandBytes = 16;
constexpr uint64_t kEveryByte = 0x0101010101010101ull;

uint64_t Load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, sizeof(v));
  return v;
}

// How many bytes from p on equal p[0], at most `avail` (>= 1).
std::size_t RunLength(const uint8_t* p, std::size_t avail) {
  const uint8_t b = p[0];
  std::size_t n = 1;
  const uint64_t pattern = b * kEveryByte;
  while (n + 8 <= avail && Load64(p + n) == pattern) n += 8;
  while (n < avail && p[n] == b) ++n;
  return n;
}

// The length of a row without its white (zero) bytes at the end.
std::size_t InkedLength(const uint8_t* p, std::size_t n) {
  while (n >= 8 && Load64(p + n - 8) == 0) n -= 8;
  while (n > 0 && p[n - 1] == 0) --n;
  return n;
}

}  // namespace

PclRasterWriter::PclRasterWriter(ByteSink& sink)
    : sink_(sink),
      buffer_(new uint8_t[kBufferBytes]),
      shifted_(new uint8_t[kMaxRowBytes]),
      packed_(new uint8_t[PackBitsBound(kMaxRowBytes)]),
      delta_(new uint8_t[DeltaRowBound(kMaxRowBytes)]),
      seed_(new uint8_t[kMaxRowBytes]) {}

std::size_t PclRasterWriter::PackBits(const uint8_t* in, std::size_t size, uint8_t* out,
                                     std::size_t limit) {
  // Runs of three or more equal bytes are replicated (-(n - 1), byte);
  // everything between them goes out literally (n - 1, n bytes), at most
  // 128 bytes a piece either way. A pair of equal bytes stays inside a
  // literal: as a run of its own it would cost a header byte more
  // whenever literal bytes surround it.
  std::size_t o = 0;
  std::size_t i = 0;
  while (i < size) {
    if (o > limit) return o;
    const std::size_t run = RunLength(in + i, std::min<std::size_t>(size - i, 128));
    if (run >= 3) {
      out[o++] = static_cast<uint8_t>(257 - run);
      out[o++] = in[i];
      i += run;
      continue;
    }
    const std::size_t start = i;
    const std::size_t end = std::min(size, start + 128);
    i += run;
    while (i < end && !(i + 2 < size && in[i] == in[i + 1] && in[i] == in[i + 2])) ++i;
    const std::size_t count = std::min(i, end) - start;
    i = start + count;
    out[o++] = static_cast<uint8_t>(count - 1);
    std::memcpy(out + o, in + start, count);
    o += count;
  }
  return o;
}

std::size_t PclRasterWriter::DeltaRow(const uint8_t* row, const uint8_t* seed, std::size_t size,
                                      uint8_t* out) {
  // Each change: a command byte (bytes replaced - 1 in the top three bits,
  // 1 to 8 bytes; the offset from the end of the change before in the low
  // five, 31 meaning that further offset bytes follow, 255 each while more
  // come), then the new bytes.
  // Eight bytes are compared at a time where the row has them: the XOR
  // of two little-endian words has its lowest set byte at the first
  // difference, and the lowest byte flagged by the zero-byte test at the
  // first equal byte (flags above a zero byte may be false, the lowest is
  // not).
  constexpr uint64_t kHigh = 0x8080808080808080ull;
  std::size_t o = 0;
  std::size_t i = 0;
  std::size_t last = 0;
  for (;;) {
    while (i + 8 <= size) {
      const uint64_t x = Load64(row + i) ^ Load64(seed + i);
      if (x != 0) {
        i += static_cast<std::size_t>(__builtin_ctzll(x)) / 8;
        break;
      }
      i += 8;
    }
    while (i < size && row[i] == seed[i]) ++i;
    if (i == size) break;
    std::size_t j = i + 1;
    if (i + 8 <= size) {
      const uint64_t x = Load64(row + i) ^ Load64(seed + i);
      const uint64_t equal = (x - kEveryByte) & ~x & kHigh;
      j = i + (equal ? static_cast<std::size_t>(__builtin_ctzll(equal)) / 8 : 8);
    } else {
      while (j < size && j - i < 8 && row[j] != seed[j]) ++j;
    }
    const std::size_t count = j - i;
    std::size_t offset = i - last;
    out[o++] = static_cast<uint8_t>(((count - 1) << 5) | std::min<std::size_t>(offset, 31));
    if (offset >= 31) {
      for (offset -= 31; offset >= 255; offset -= 255) out[o++] = 255;
      out[o++] = static_cast<uint8_t>(offset);
    }
    std::memcpy(out + o, row + i, count);
    o += count;
    i = last = j;
  }
  return o;
}

void PclRasterWriter::Begin(const RasterPlacement& placement, int32_t resolution,
                            int32_t rowColumns) {
  placement_ = placement;
  row_ = 0;
  pending_white_ = 0;
  row_bytes_ = static_cast<std::size_t>(std::clamp(rowColumns, 0, kMaxColumns) + 7) / 8;
  open_ = placement.columns > 0 && placement.rows > 0 && placement.skipColumns >= 0 &&
          placement.columns <= kMaxColumns &&
          int64_t{placement.skipColumns} + placement.columns <= rowColumns &&
          rowColumns <= kMaxColumns;
  if (!open_) return;
  // Every page sets all the raster state it uses: booklet and collated
  // pages are replayed in another order than they were written.
  Command('p', placement.x, 'X');
  Command('p', placement.y, 'Y');
  Command('t', resolution, 'R');
  Command('r', placement.columns, 'S');
  Command('r', placement.rows, 'T');
  Command('r', 1, 'A');  // at the cursor, not at x = 0
  // Starting the raster clears the printer's seed row.
  std::memset(seed_.get(), 0, (static_cast<std::size_t>(placement.columns) + 7) / 8);
  mode_ = 0;
}

void PclRasterWriter::Row(const uint8_t* bits) {
  if (!open_ || row_ >= placement_.rows) return;
  ++row_;
  const std::size_t bytes = (static_cast<std::size_t>(placement_.columns) + 7) / 8;
  const std::size_t first = static_cast<std::size_t>(placement_.skipColumns) / 8;
  const int shift = placement_.skipColumns % 8;
  const uint8_t* row = bits + first;
  if (shift != 0) {
    // The first column sent is not the first of a byte: move the row to
    // the left. The byte after the last may lie beyond the row.
    uint8_t* s = shifted_.get();
    const std::size_t whole = std::min(bytes, row_bytes_ - first - 1);
    std::size_t i = 0;
    // Eight bytes at a time, as one big-endian word, the ninth supplying
    // the bits shifted in.
    for (; i + 8 <= whole; i += 8) {
      const uint64_t w = __builtin_bswap64(Load64(row + i));
      const uint64_t v = __builtin_bswap64((w << shift) | (row[i + 8] >> (8 - shift)));
      std::memcpy(s + i, &v, sizeof(v));
    }
    for (; i < whole; ++i)
      s[i] = static_cast<uint8_t>((row[i] << shift) | (row[i + 1] >> (8 - shift)));
    if (whole < bytes) s[whole] = static_cast<uint8_t>(row[whole] << shift);
    row = s;
  }
  const std::size_t inked = InkedLength(row, bytes);
  if (inked == 0) {
    ++pending_white_;
    return;
  }
  if (pending_white_ > 0) {
    // Skipping rows also clears the seed row.
    Command('b', pending_white_, 'Y');
    pending_white_ = 0;
    std::memset(seed_.get(), 0, bytes);
  }
  // The shorter of the two forms, a change of mode counted in.
  constexpr std::size_t kModeChange = 5;  // ESC * b # M
  const std::size_t delta = DeltaRow(row, seed_.get(), bytes, delta_.get());
  const std::size_t cost3 = delta + (mode_ == 3 ? 0 : kModeChange);
  const std::size_t change2 = mode_ == 2 ? 0 : kModeChange;
  // PackBits only as far as it could still be the shorter.
  const std::size_t packed =
      cost3 <= change2 ? SIZE_MAX : PackBits(row, inked, packed_.get(), cost3 - change2 - 1);
  const int mode = packed < cost3 - change2 ? 2 : 3;
  if (mode != mode_) {
    Command('b', mode, 'M');
    mode_ = mode;
  }
  const uint8_t* data = mode == 3 ? delta_.get() : packed_.get();
  const std::size_t size = mode == 3 ? delta : packed;
  Command('b', static_cast<int64_t>(size), 'W');
  Append(data, size);
  std::memcpy(seed_.get(), row, bytes);
}

void PclRasterWriter::End() {
  if (open_) {
    // White rows at the end need no skip: the raster simply ends.
    const uint8_t end[] = {kEsc, '*', 'r', 'C'};
    Append(end, sizeof(end));
    open_ = false;
  }
  Flush();
}

void PclRasterWriter::Command(char group, int64_t value, char final_char) {
  Reserve(kMaxCommandBytes);
  uint8_t* p = buffer_.get() + used_;
  p[0] = kEsc;
  p[1] = '*';
  p[2] = static_cast<uint8_t>(group);
  char* digits = reinterpret_cast<char*>(p + 3);
  char* end = std::to_chars(digits, digits + 11, value).ptr;
  *end++ = final_char;
  used_ = static_cast<std::size_t>(reinterpret_cast<uint8_t*>(end) - buffer_.get());
}

void PclRasterWriter::Append(const void* data, std::size_t size) {
  Reserve(size);
  std::memcpy(buffer_.get() + used_, data, size);
  used_ += size;
}

void PclRasterWriter::Reserve(std::size_t size) {
  if (kBufferBytes - used_ < size) Flush();
}

void PclRasterWriter::Flush() {
  if (used_ == 0) return;
  sink_.Put(buffer_.get(), used_);
  used_ = 0;
}

}  // namespace pclspool::pcl
