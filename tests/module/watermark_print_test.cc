// Watermarked jobs through the `pclspool` command, with the test font file:
// where the soft font is downloaded, how often each page selects it, and
// that the glyphs the printer receives are the rasteriser's own bitmaps.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/posix/posix_text.h"
#include "support/child_process.h"
#include "support/class2_decoder.h"
#include "support/scratch_dir.h"
#include "support/test_files.h"

namespace pclspool {
namespace {

namespace fs = std::filesystem;

using testing::Count;
using testing::ReadFile;

const std::string kFont = std::string(PCLSPOOL_TEST_DATA) + "/LiberationSans-Regular.ttf";

class WatermarkPrint : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(dir_ / "OrvWater.INI") << "[StringSummary]\nSAMPLE=\n"
                                            "[SAMPLE]\nFaceName=Arial\nHeight=-50\nWidth=0\n"
                                            "Escapement=450\nDark=0\n";
  }

  // Prints the three-page sample job with the first watermark text.
  std::string Print(const std::vector<std::string>& settings = {}) {
    std::vector<std::string> argv = {PCLSPOOL_CLI_PATH, "print", "--ini",
                                     (dir_ / "OrvWater.INI").string(), "--font", "Arial=" + kFont,
                                     "--watermark", "1", "-o", (dir_ / "out.prn").string(),
                                     std::string(PCLSPOOL_EXAMPLES) + "/sample.pcl"};
    argv.insert(argv.begin() + 2, settings.begin(), settings.end());
    const testing::ProgramRun run = testing::RunProgram({.argv = argv});
    EXPECT_TRUE(run.Ok()) << run.Describe("pclspool print");
    return ReadFile(dir_ / "out.prn");
  }

  testing::ScratchDir dir_{"watermark"};
};

TEST_F(WatermarkPrint, FontDownloadsAndSelectionsPerLayout) {
  const std::string kHeader = "\x1B)s68W";
  // Every page's watermark is one macro, called once.
  const std::string kSelect = "FI16300;SS;";
  struct Case {
    const char* name;
    std::vector<std::string> settings;
    std::size_t headers;     // font descriptors sent
    std::size_t selections;  // pages that select the font
    std::size_t labels;      // one per non-blank character and page
    std::size_t ends;        // the job's end, or its copies' ends
  } cases[] = {
      {"one-up: the font once, every page selects it", {}, 1, 3, 18, 1},
      {"two-up", {"--set", "TWOupFOUR=1"}, 1, 3, 18, 1},
      {"collated copies replay page 1's download",
       {"--set", "FINISHER UNIT=1", "--set", "GROUPSORT=1", "--set", "COPIES=2"}, 2, 6, 36, 2},
      {"booklet: every page file carries the font", {"--set", "PAPER CODE=1033"}, 3, 3, 18, 1},
  };
  for (const Case& c : cases) {
    const std::string out = Print(c.settings);
    EXPECT_EQ(Count(out, kHeader), c.headers) << c.name;
    EXPECT_EQ(Count(out, kSelect), c.selections) << c.name;
    EXPECT_EQ(Count(out, ";LB"), c.labels) << c.name;
    EXPECT_EQ(Count(out, "DT;\x1B%0A\x1B&f1S\x1B&f1X\x1B&f3X\x1B&f8X"), c.selections) << c.name;
    EXPECT_EQ(Count(out, "\x1B(016300X"), 0u) << c.name << ": never the job's primary font";
    // The font is permanent while the job runs and deleted before every
    // UEL that ends the job or a copy.
    EXPECT_EQ(Count(out, "\x1B*c5F"), c.headers) << c.name;
    EXPECT_EQ(Count(out, "\x1B*c16300d2F\x1B%-12345X"), c.ends) << c.name;
    EXPECT_EQ(Count(out, "\x1B*c16300d2F"), c.ends) << c.name;
    const testing::SoftFontStream fonts = testing::ParseSoftFont(out);
    ASSERT_TRUE(fonts.ok()) << c.name << ": " << fonts.error;
    EXPECT_EQ(fonts.chars.size(), 6 * c.headers) << c.name << ": S, A, M, P, L, E";
  }
}

TEST_F(WatermarkPrint, SecondPageOnlySelectsTheFont) {
  const std::string out = Print();
  // Each page's watermark begins with the transparency commands.
  const std::size_t second = out.find("\x1B*v0N", out.find("\x1B*v0N") + 1);
  ASSERT_NE(second, std::string::npos);
  const std::string page2 = out.substr(second, out.find("DT;\x1B%0A", second) - second);
  EXPECT_EQ(page2.find("\x1B)s68W"), std::string::npos);
  EXPECT_EQ(page2.find("\x1B*c34E"), std::string::npos);
  EXPECT_NE(page2.find("\x1B*c16300D\x1B&l0u0Z\x1B&l0E"), std::string::npos);
  EXPECT_NE(page2.find("\x1B%0BIN;SP1;DT!;FI16300;SS;FT10,25;CF2;"), std::string::npos);
}

TEST_F(WatermarkPrint, DownloadedGlyphsAreTheRasterisersBitmaps) {
  const testing::SoftFontStream fonts = testing::ParseSoftFont(Print());
  ASSERT_TRUE(fonts.ok()) << fonts.error;
  ASSERT_EQ(fonts.chars.size(), 6u);

  // The font the watermark renders with: the INI's, on the system font's
  // defaults, its height -50 screen pixels at 600 dpi, rotated 45 degrees.
  posix::PosixText text;
  text.MapFace(u"Arial", kFont);
  LOGFONTW lf{};
  ASSERT_TRUE(text.GetSystemFont(&lf));
  lf.lfHeight = -50 * 600 / 96;
  lf.lfWidth = 0;
  lf.lfEscapement = 0;
  lf.lfOrientation = 450;
  std::memset(lf.lfFaceName, 0, sizeof lf.lfFaceName);
  std::memcpy(lf.lfFaceName, u"Arial", 10);
  const HDC dc = text.GetDC();
  const HGDIOBJ font = text.CreateFontIndirectW(&lf);
  ASSERT_NE(font, nullptr);
  const HGDIOBJ old = text.SelectObject(dc, font);
  const MAT2 m{{46340, 0}, {46340, 0}, {static_cast<WORD>(-46340 & 0xFFFF), -1}, {46340, 0}};

  const std::u16string sample = u"SAMPLE";
  for (const testing::SoftFontChar& c : fonts.chars) {
    ASSERT_GE(c.code, 34);
    ASSERT_LT(static_cast<std::size_t>(c.code - 34), sample.size());
    const char16_t ch = sample[static_cast<std::size_t>(c.code - 34)];
    GLYPHMETRICS gm{};
    const DWORD size = text.GetGlyphOutlineW(dc, ch, GGO_BITMAP, &gm, 0, nullptr, &m);
    ASSERT_NE(size, GDI_ERROR);
    std::vector<uint8_t> bits(size);
    ASSERT_EQ(text.GetGlyphOutlineW(dc, ch, GGO_BITMAP, &gm, size, bits.data(), &m), size);
    EXPECT_EQ(c.Width(), static_cast<int>(gm.gmBlackBoxX)) << char(ch);
    EXPECT_EQ(c.Height(), static_cast<int>(gm.gmBlackBoxY)) << char(ch);
    EXPECT_EQ(c.LeftOffset(), gm.gmptGlyphOrigin.x) << char(ch);
    EXPECT_EQ(c.TopOffset(), gm.gmptGlyphOrigin.y) << char(ch);
    EXPECT_EQ(c.Class(), (gm.gmBlackBoxX + 7) / 8 < 20 ? 1 : 2) << char(ch);

    const testing::DecodedBitmap decoded = testing::DecodeGlyph(c);
    ASSERT_TRUE(decoded.ok()) << char(ch) << ": " << decoded.error;
    const std::size_t row = (gm.gmBlackBoxX + 7) / 8, stride = (gm.gmBlackBoxX + 31) / 32 * 4;
    std::vector<uint8_t> expected;
    for (UINT y = 0; y < gm.gmBlackBoxY; ++y)
      expected.insert(expected.end(), bits.begin() + static_cast<std::ptrdiff_t>(y * stride),
                      bits.begin() + static_cast<std::ptrdiff_t>(y * stride + row));
    EXPECT_TRUE(decoded.rows == expected) << char(ch) << ": bitmap differs";
  }
  text.SelectObject(dc, old);
  text.DeleteObject(font);
  text.ReleaseDC(dc);
}

}  // namespace
}  // namespace pclspool
