// Test-side readers of what the soft font sends: a strict decoder of PCL
// class 2 (compressed bitmap) character data, and a parser that picks the
// soft-font downloads (font headers, character codes, descriptors and data)
// out of a PCL byte stream. Both take any bytes: malformed input gives an
// error, never a read out of bounds or an unbounded allocation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pclspool::testing {

// Packed rows: (width + 7) / 8 bytes a row, back to back, most significant
// bit first, 1 = black, the padding bits of each row's last byte 0.
struct DecodedBitmap {
  std::vector<uint8_t> rows;
  std::string error;  // empty when the data decoded cleanly
  bool ok() const { return error.empty(); }
};

// Largest bitmap the decoders build (rows x row bytes); larger asks fail.
inline constexpr std::size_t kMaxDecodedBytes = std::size_t{64} << 20;

// Decodes class 2 data of a glyph width x height pixels. Every entry is a
// repeat byte and runs (white first) that fill exactly width pixels; the
// entries must cover exactly height rows with no byte left over.
DecodedBitmap DecodeClass2(const uint8_t* data, std::size_t size, int width, int height);

// One character download: "\x1B*c#E", then one "\x1B(s#W" block with the
// character descriptor and any continuation blocks.
struct SoftFontChar {
  int font_id = -1;                 // the "\x1B*c#D" in force
  int code = -1;                    // the "\x1B*c#E" in force
  std::vector<uint8_t> descriptor;  // as sent (16 bytes for format 4)
  std::vector<uint8_t> data;        // character data, blocks joined
  std::vector<int> block_counts;    // the count of each "\x1B(s#W"

  int Class() const { return Byte(3); }
  int LeftOffset() const { return S16(6); }
  int TopOffset() const { return S16(8); }
  int Width() const { return U16(10); }
  int Height() const { return U16(12); }
  int DeltaX() const { return U16(14); }

 private:
  int Byte(std::size_t i) const { return i < descriptor.size() ? descriptor[i] : -1; }
  int U16(std::size_t i) const {
    return Byte(i) < 0 || Byte(i + 1) < 0 ? -1 : Byte(i) << 8 | Byte(i + 1);
  }
  int S16(std::size_t i) const { return static_cast<int16_t>(U16(i)); }
};

// One font header download: "\x1B)s#W" and its bytes.
struct SoftFontHeader {
  int font_id = -1;  // the "\x1B*c#D" in force
  std::vector<uint8_t> descriptor;
};

struct SoftFontStream {
  std::vector<SoftFontHeader> headers;
  std::vector<SoftFontChar> chars;
  std::vector<int> font_ids;  // every "\x1B*c#D", in order
  std::vector<int> selected;  // every primary font selection "\x1B(#X", in order
  std::string error;          // empty when the stream parsed cleanly
  bool ok() const { return error.empty(); }
};

// Walks the PCL escape sequences of a stream (combined sequences such as
// "\x1B*c16300d34E" included), skipping the binary data of every command
// that ends in W and of "\x1B&p#X", and collects the soft-font downloads.
// Bytes outside escape sequences (PJL, HP-GL/2, page data) are passed over.
SoftFontStream ParseSoftFont(std::string_view pcl);

// The packed rows of a downloaded character: class 1 data as it stands,
// class 2 decoded, with the width and height of its descriptor.
DecodedBitmap DecodeGlyph(const SoftFontChar& c);

}  // namespace pclspool::testing
