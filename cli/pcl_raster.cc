#include "pcl_raster.h"

#include <algorithm>
#include <charconv>
#include <cstring>

namespace pclspool::cli {

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
      packed_(new uint8_t[PackBitsBound(kMaxRowBytes)]) {}

std::size_t PclRasterWriter::PackBits(const uint8_t* in, std::size_t size, uint8_t* out) {
  // Runs of three or more equal bytes are replicated (-(n - 1), byte);
  // everything between them goes out literally (n - 1, n bytes), at most
  // 128 bytes a piece either way. A pair of equal bytes stays inside a
  // literal: as a run of its own it would cost a header byte more
  // whenever literal bytes surround it.
  std::size_t o = 0;
  std::size_t i = 0;
  while (i < size) {
    std::size_t run = RunLength(in + i, std::min<std::size_t>(size - i, 128));
    if (run >= 3) {
      out[o++] = static_cast<uint8_t>(257 - run);
      out[o++] = in[i];
      i += run;
      continue;
    }
    const std::size_t start = i;
    i += run;
    while (i < size && i - start < 128) {
      run = RunLength(in + i, std::min<std::size_t>(size - i, 3));
      if (run >= 3) break;
      i += run;
    }
    const std::size_t count = std::min<std::size_t>(i - start, 128);
    i = start + count;
    out[o++] = static_cast<uint8_t>(count - 1);
    std::memcpy(out + o, in + start, count);
    o += count;
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
  Command('b', 2, 'M');
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
    const std::size_t avail = row_bytes_ - first;
    for (std::size_t i = 0; i < bytes; ++i) {
      const unsigned next = i + 1 < avail ? row[i + 1] : 0u;
      s[i] = static_cast<uint8_t>((row[i] << shift) | (next >> (8 - shift)));
    }
    row = s;
  }
  const std::size_t inked = InkedLength(row, bytes);
  if (inked == 0) {
    ++pending_white_;
    return;
  }
  if (pending_white_ > 0) {
    Command('b', pending_white_, 'Y');
    pending_white_ = 0;
  }
  const std::size_t packed = PackBits(row, inked, packed_.get());
  Command('b', static_cast<int64_t>(packed), 'W');
  Append(packed_.get(), packed);
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

}  // namespace pclspool::cli
