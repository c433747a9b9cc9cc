#include "watermark/soft_font.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/class2_decoder.h"
#include "support/fakes/fake_platform.h"

namespace pclspool {
namespace {

using Bytes = std::vector<uint8_t>;
using testing::FakePlatform;

std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }

class SoftFont : public ::testing::Test {
 protected:
  FakePlatform fp;
  HANDLE printer = reinterpret_cast<HANDLE>(uintptr_t{0x40});
  JobContext ctx{};

  SoftFont() {
    fp.AddPrinter(printer);
    ctx.hPrinter = printer;
    ctx.hPageFile = InvalidHandleValue();
    ctx.dm.dmYResolution = 600;
  }
  std::string& Output() { return fp.spooler.printers[printer].output; }
};

std::size_t Stride(uint32_t width) { return ((width + 31) / 8) & ~std::size_t{3}; }
std::size_t RowBytes(uint32_t width) { return (width + 7) / 8; }

// A glyph as GetGlyphOutlineW delivers it: random pixels in the black box,
// zero bits after them in the row's last byte, and garbage in the padding
// bytes up to the stride. Returns the bitmap; *packed gets the rows back to
// back, as PCL takes them.
Bytes GgoBitmap(uint32_t width, uint32_t height, Bytes* packed, uint32_t seed = 7,
                int density = 2) {
  std::mt19937 rng(seed);
  Bytes bitmap(Stride(width) * height, 0xA5);
  packed->assign(RowBytes(width) * height, 0);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const bool black = rng() % density == 0;
      const auto bit = static_cast<uint8_t>(0x80 >> (x & 7));
      uint8_t& b = bitmap[y * Stride(width) + x / 8];
      if (x % 8 == 0) b = 0;
      if (black) b |= bit;
      if (black) (*packed)[y * RowBytes(width) + x / 8] |= bit;
    }
  }
  return bitmap;
}

GLYPHMETRICS Metrics(uint32_t width, uint32_t height) {
  GLYPHMETRICS gm{};
  gm.gmBlackBoxX = width;
  gm.gmBlackBoxY = height;
  gm.gmptGlyphOrigin = {2, static_cast<LONG>(height)};
  gm.gmCellIncX = static_cast<int16_t>(width + 4);
  return gm;
}

// The font is never made the job's primary font: that would print the
// job's later text in watermark glyphs.
TEST_F(SoftFont, HeaderOnceDownloadedOnlyNamesTheFont) {
  ctx.bFontDownloaded = 1;
  EXPECT_EQ(DownloadFontHeader(ctx, nullptr, nullptr), kTrue);
  EXPECT_EQ(Output(), "\x1B*c16300D");
}

TEST_F(SoftFont, HeaderDescriptorIsByteExact) {
  TEXTMETRICW tm{};
  tm.tmHeight = 100;
  tm.tmAscent = 80;
  tm.tmMaxCharWidth = 120;
  tm.tmAveCharWidth = 45;
  LOGFONTW font{};
  std::u16string(u"Arial").copy(font.lfFaceName, 5);
  const Bytes descriptor = {
      0x00, 0x44, 20,   2,    0,    0,           // size, format 20, type 2, style MSB, reserved
      0x00, 0x50, 0x00, 0x78, 0x00, 0x64,        // baseline 80, cell width 120, cell height 100
      0,    1,    0x01, 0x35,                    // portrait, proportional, symbol set 9U
      0x00, 0xB4, 0x01, 0x90, 0x01, 0x2C,        // pitch 45x4, height 100x4, xHeight 100x3
      0,    0,    0,    254,  0,    0,           // width type, style LSB, stroke, typeface
      0,    0,    0,    0,                       // quality, placement, underline
      0,    0,    0,    0,                       // text height and width
      0x00, 0x1F, 0x00, 0xFF,                    // first code 31, last code 255
      0,    0,    0,    0,    0,    0,    0, 0,  // extended, cap height, font number
      'A',  'r',  'i',  'a',  'l',  0,    0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  // font name
      0x02, 0x58, 0x02, 0x58,                                            // 600 x 600 dpi
  };
  ASSERT_EQ(descriptor.size(), 68u);
  DownloadFontHeader(ctx, &tm, &font);
  EXPECT_EQ(Output(), "\x1B*c16300D\x1B)s68W" + Str(descriptor) + "\x1B*c5F") << "made permanent";
  EXPECT_EQ(ctx.bFontDownloaded, 0) << "the caller sets the flag";
}

TEST_F(SoftFont, HeaderNameResolutionAndNegativeMetrics) {
  struct Case {
    const char* name;
    std::u16string face;
    int16_t dpi;
    LONG ascent;
    std::string name_bytes;  // bytes 48..63
    std::string tail;        // bytes 64..67
    std::string baseline;    // bytes 6..7
  } cases[] = {
      {"20-character face keeps 15", u"ABCDEFGHIJKLMNOPQRST", 600, 80,
       std::string("ABCDEFGHIJKLMNO\0", 16), std::string("\x02\x58\x02\x58", 4),
       std::string("\0P", 2)},
      {"characters above 0xFF become '?'", u"Caf\u00e9 \u4e00", 1200, 80,
       std::string("Caf\xE9 ?\0\0\0\0\0\0\0\0\0\0", 16), std::string("\x04\xB0\x04\xB0", 4),
       std::string("\0P", 2)},
      {"negative values keep their low 16 bits", u"", -2, -3, std::string(16, '\0'),
       std::string("\xFF\xFE\xFF\xFE", 4), std::string("\xFF\xFD", 2)},
  };
  for (const Case& c : cases) {
    Output().clear();
    ctx.dm.dmYResolution = c.dpi;
    TEXTMETRICW tm{};
    tm.tmAscent = c.ascent;
    LOGFONTW font{};
    c.face.copy(font.lfFaceName, c.face.size());
    DownloadFontHeader(ctx, &tm, &font);
    const std::string d = Output().substr(std::string("\x1B*c16300D\x1B)s68W").size(), 68);
    EXPECT_EQ(d.substr(48, 16), c.name_bytes) << c.name;
    EXPECT_EQ(d.substr(64, 4), c.tail) << c.name;
    EXPECT_EQ(d.substr(6, 2), c.baseline) << c.name;
  }
}

TEST_F(SoftFont, CharDescriptorIsByteExact) {
  Bytes packed;
  Bytes bitmap = GgoBitmap(10, 2, &packed);
  GLYPHMETRICS gm = Metrics(10, 2);
  gm.gmptGlyphOrigin = {-3, 12};
  gm.gmCellIncX = -25;
  DownloadChar(ctx, 34, gm, bitmap.data());
  const Bytes descriptor = {
      4,    0,    14,   1,    0, 0,  // format 4, descriptor size 14, class 1
      0xFF, 0xFD, 0x00, 0x0C,        // origin (-3, 12)
      0x00, 0x0A, 0x00, 0x02,        // 10 x 2 pixels
      0x00, 0x64,                    // delta X 25 x 4
  };
  EXPECT_EQ(Output(), "\x1B*c34E\x1B(s20W" + Str(descriptor) + Str(packed));
}

// Class 1 below 20 bytes a row, class 2 from 20; rows padded to 32 bits
// are compacted unless the width is a multiple of 32.
TEST_F(SoftFont, ClassAndCompaction) {
  struct Case {
    const char* name;
    uint32_t width;
    int cls;
  } cases[] = {
      {"32 pixels: stride equals row length", 32, 1},
      {"33 pixels: stride 8, row length 5", 33, 1},
      {"1 pixel", 1, 1},
      {"152 pixels: 19-byte rows", 152, 1},
      {"153 pixels: 20-byte rows", 153, 2},
      {"160 pixels: class 2 without compaction", 160, 2},
  };
  for (const Case& c : cases) {
    Output().clear();
    Bytes packed;
    Bytes bitmap = GgoBitmap(c.width, 37, &packed, c.width);
    DownloadChar(ctx, 77, Metrics(c.width, 37), bitmap.data());
    const testing::SoftFontStream s = testing::ParseSoftFont(Output());
    ASSERT_TRUE(s.ok()) << c.name << ": " << s.error;
    ASSERT_EQ(s.chars.size(), 1u) << c.name;
    EXPECT_EQ(s.chars[0].code, 77) << c.name;
    EXPECT_EQ(s.chars[0].Class(), c.cls) << c.name;
    if (c.cls == 1) {
      EXPECT_EQ(s.chars[0].data, packed) << c.name << ": sent as compacted";
    }
    const testing::DecodedBitmap glyph = testing::DecodeGlyph(s.chars[0]);
    ASSERT_TRUE(glyph.ok()) << c.name << ": " << glyph.error;
    EXPECT_EQ(glyph.rows, packed) << c.name;
  }
}

TEST_F(SoftFont, DataTravelsInBlocksOf16384) {
  struct Case {
    const char* name;
    uint32_t width, height;   // class 1 rows of width / 8 bytes
    std::vector<int> counts;  // of each "\x1B(s#W"
  } cases[] = {
      {"16384 bytes in one block", 128, 1024, {16400}},
      {"16385 bytes in two", 40, 3277, {16400, 3}},
      {"40000 bytes in three", 128, 2500, {16400, 16386, 7234}},
  };
  for (const Case& c : cases) {
    Output().clear();
    Bytes packed;
    Bytes bitmap = GgoBitmap(c.width, c.height, &packed);
    const GLYPHMETRICS gm = Metrics(c.width, c.height);
    DownloadChar(ctx, 90, gm, bitmap.data());

    std::string expected = "\x1B*c90E";
    std::size_t offset = 0;
    for (std::size_t i = 0; i < c.counts.size(); ++i) {
      const std::size_t header = i == 0 ? 16 : 2;
      const std::size_t block = c.counts[i] - header;
      expected += "\x1B(s" + std::to_string(c.counts[i]) + "W";
      if (i == 0) {
        expected += Output().substr(expected.size(), 16);  // the descriptor, checked elsewhere
      } else {
        expected += std::string("\x04\x01", 2);
      }
      expected += Str(Bytes(packed.begin() + offset, packed.begin() + offset + block));
      offset += block;
    }
    EXPECT_EQ(offset, packed.size()) << c.name;
    EXPECT_EQ(Output(), expected) << c.name;
  }
}

// A glyph 2.5 inches wide at 1200 dpi: class 2 rows of 3000 pixels, data
// of several blocks, decoded back from the printer's bytes.
TEST_F(SoftFont, WideGlyphRoundTrips) {
  const uint32_t width = 3000, height = 300;
  Bytes packed;
  Bytes bitmap = GgoBitmap(width, height, &packed, 11, 3);
  DownloadChar(ctx, 200, Metrics(width, height), bitmap.data());
  const testing::SoftFontStream s = testing::ParseSoftFont(Output());
  ASSERT_TRUE(s.ok()) << s.error;
  ASSERT_EQ(s.chars.size(), 1u);
  EXPECT_EQ(s.chars[0].Class(), 2);
  EXPECT_GT(s.chars[0].block_counts.size(), 2u);
  for (int count : s.chars[0].block_counts) EXPECT_LE(count, 16400);
  const testing::DecodedBitmap glyph = testing::DecodeGlyph(s.chars[0]);
  ASSERT_TRUE(glyph.ok()) << glyph.error;
  EXPECT_EQ(glyph.rows, packed);
}

TEST_F(SoftFont, GlyphsWithoutDataSendNothing) {
  struct Case {
    const char* name;
    uint32_t width, height;
    std::u16string trace;  // a glyph dropped at a limit says so
  } cases[] = {
      {"width 0", 0, 5, u""},
      {"height 0", 8, 0, u""},
      {"wider than a 16-bit width", 40000, 1,
       u"Watermark character 34 dropped: 40000 x 1 pixels, more than 32767 a side\n"},
  };
  Bytes bitmap(Stride(40000) * 5, 0xFF);
  for (const Case& c : cases) {
    fp.debug.trace.clear();
    DownloadChar(ctx, 34, Metrics(c.width, c.height), bitmap.data());
    EXPECT_EQ(Output(), "") << c.name;
    if (c.trace.empty()) {
      EXPECT_TRUE(fp.debug.trace.empty()) << c.name;
    } else {
      ASSERT_EQ(fp.debug.trace.size(), 1u) << c.name;
      EXPECT_EQ(fp.debug.trace[0], c.trace) << c.name;
    }
  }
}

}  // namespace
}  // namespace pclspool
