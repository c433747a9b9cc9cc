// The GDI text services on FreeType against GDI's own results for the same
// font file: Liberation Sans Regular standing for "Arial" on a 96 dpi screen.
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/posix_text.h"

namespace pclspool::posix {
namespace {

const std::string kLiberationSans = std::string(PCLSPOOL_TEST_DATA) + "/LiberationSans-Regular.ttf";

LOGFONTW Font(const char16_t* face, LONG height, LONG width = 0) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWidth = width;
  lf.lfWeight = 400;
  std::memcpy(lf.lfFaceName, face, std::char_traits<char16_t>::length(face) * sizeof(char16_t));
  return lf;
}

FIXED Fixed(int32_t v) {
  return FIXED{static_cast<WORD>(v & 0xffff), static_cast<int16_t>(v >> 16)};
}

// A rotation as the watermark builds it from cos and sin in 16.16.
MAT2 Rotation(int32_t cos16, int32_t sin16) {
  return MAT2{Fixed(cos16), Fixed(sin16), Fixed(-sin16), Fixed(cos16)};
}

const MAT2 kAngle0 = Rotation(65536, 0);
const MAT2 kAngle45 = Rotation(46340, 46340);
const MAT2 kAngle90 = Rotation(0, 65536);

struct Glyph {
  DWORD size = GDI_ERROR;
  GLYPHMETRICS gm{};
  std::vector<uint8_t> bits;
};

class TextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    text_.MapFace(u"Arial", kLiberationSans);
    dc_ = text_.GetDC();
    ASSERT_NE(dc_, nullptr);
  }
  void TearDown() override { text_.ReleaseDC(dc_); }

  // Creates and selects the font; the context frees nothing on its own, so
  // the fonts live until the fixture ends.
  void Use(const LOGFONTW& lf) {
    HGDIOBJ font = text_.CreateFontIndirectW(&lf);
    ASSERT_NE(font, nullptr);
    ASSERT_NE(text_.SelectObject(dc_, font), nullptr);
  }

  // The two calls of the glyph loop: the size, then the bitmap into a buffer
  // of exactly that size.
  Glyph Render(UINT ch, const MAT2& m) {
    Glyph g;
    GLYPHMETRICS query{};
    const DWORD n = text_.GetGlyphOutlineW(dc_, ch, GGO_BITMAP, &query, 0, nullptr, &m);
    if (n == GDI_ERROR) return g;
    g.bits.assign(n, 0xAA);  // garbage the rasteriser must overwrite
    g.size = text_.GetGlyphOutlineW(dc_, ch, GGO_BITMAP, &g.gm, n, g.bits.data(), &m);
    EXPECT_EQ(g.size, n) << "size query and bitmap call disagree for " << ch;
    EXPECT_EQ(std::memcmp(&query, &g.gm, sizeof(GLYPHMETRICS)), 0);
    return g;
  }

  PosixText text_;
  HDC dc_ = nullptr;
};

TEST_F(TextTest, TextMetricsAndExtentMatchGdi) {
  Use(Font(u"Arial", -312));
  TEXTMETRICW tm{};
  ASSERT_EQ(text_.GetTextMetricsW(dc_, &tm), kTrue);
  EXPECT_EQ(tm.tmHeight, 348);
  EXPECT_EQ(tm.tmAscent, 282);
  EXPECT_EQ(tm.tmDescent, 66);
  EXPECT_EQ(tm.tmAveCharWidth, 184);
  EXPECT_EQ(tm.tmMaxCharWidth, 391);
  EXPECT_EQ(tm.tmWeight, 400);
  EXPECT_EQ(tm.tmDigitizedAspectX, 96);
  EXPECT_EQ(tm.tmPitchAndFamily, 0x27);  // proportional, swiss, vector, TrueType

  SIZE extent{};
  ASSERT_EQ(text_.GetTextExtentPoint32W(dc_, u"SAMPLE", 6, &extent), kTrue);
  EXPECT_EQ(extent.cx, 1266);
  EXPECT_EQ(extent.cy, 348);
  ASSERT_EQ(text_.GetTextExtentPoint32W(dc_, u"SAMPLE", 0, &extent), kTrue);
  EXPECT_EQ(extent.cx, 0);
}

TEST_F(TextTest, GlyphsMatchGdi) {
  Use(Font(u"Arial", -312));
  struct Case {
    const char* name;
    UINT ch;
    MAT2 matrix;
    DWORD size;
    UINT box_x, box_y;
    LONG origin_x, origin_y;
    int16_t inc_x, inc_y;
  };
  const Case cases[] = {
      {"A unrotated", u'A', kAngle0, 6020, 206, 215, 1, 215, 208, 0},
      {"A at 45 degrees", u'A', kAngle45, 11960, 299, 299, -152, 299, 148, -148},
      {"blank", u' ', kAngle0, 0, 1, 1, 0, 0, 87, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Glyph g = Render(c.ch, c.matrix);
    EXPECT_EQ(g.size, c.size);
    EXPECT_EQ(g.gm.gmBlackBoxX, c.box_x);
    EXPECT_EQ(g.gm.gmBlackBoxY, c.box_y);
    EXPECT_EQ(g.gm.gmptGlyphOrigin.x, c.origin_x);
    EXPECT_EQ(g.gm.gmptGlyphOrigin.y, c.origin_y);
    EXPECT_EQ(g.gm.gmCellIncX, c.inc_x);
    EXPECT_EQ(g.gm.gmCellIncY, c.inc_y);
  }
  // A blank is no error even when a buffer comes with the call.
  GLYPHMETRICS gm{};
  uint8_t buf[64];
  EXPECT_EQ(text_.GetGlyphOutlineW(dc_, u' ', GGO_BITMAP, &gm, sizeof(buf), buf, &kAngle45), 0u);
  EXPECT_EQ(gm.gmCellIncX, 62);
}

// At 90 degrees the black box is the upright one turned on its side.
TEST_F(TextTest, QuarterTurnSwapsTheBlackBox) {
  Use(Font(u"Arial", -312));
  for (UINT ch : {u'A', u'W', u'g', u'l', u'.'}) {
    SCOPED_TRACE(static_cast<char>(ch));
    const Glyph upright = Render(ch, kAngle0);
    const Glyph turned = Render(ch, kAngle90);
    EXPECT_EQ(turned.gm.gmBlackBoxX, upright.gm.gmBlackBoxY);
    EXPECT_EQ(turned.gm.gmBlackBoxY, upright.gm.gmBlackBoxX);
    EXPECT_EQ(turned.gm.gmCellIncX, 0);
    EXPECT_EQ(turned.gm.gmCellIncY, -upright.gm.gmCellIncX);
  }
}

// Rows of 1 bit per pixel padded to 32 bits with zero bits; the upright
// bitmap is tight, inked in its first and last row and column.
TEST_F(TextTest, BitmapsArePaddedTopDownRows) {
  Use(Font(u"Arial", -312));
  const struct {
    const char* name;
    MAT2 matrix;
  } angles[] = {
      {"0", kAngle0}, {"45", kAngle45}, {"90", kAngle90}, {"-30", Rotation(56755, -32768)}};
  for (const auto& angle : angles) {
    for (UINT ch : {u'A', u'T', u'V', u'j', u'%'}) {
      SCOPED_TRACE(std::string(angle.name) + " degrees, " + static_cast<char>(ch));
      const Glyph g = Render(ch, angle.matrix);
      const UINT w = g.gm.gmBlackBoxX, h = g.gm.gmBlackBoxY;
      const UINT stride = (w + 31) / 32 * 4;
      ASSERT_EQ(g.size, stride * h);
      auto ink = [&](UINT x, UINT y) { return (g.bits[y * stride + x / 8] >> (7 - x % 8)) & 1; };
      int inked = 0;
      for (UINT y = 0; y < h; ++y) {
        for (UINT x = 0; x < stride * 8; ++x) {
          if (x >= w) {
            ASSERT_EQ(ink(x, y), 0) << "padding bit " << x << " of row " << y;
          } else {
            inked += ink(x, y);
          }
        }
      }
      EXPECT_GT(inked, 0);
      if (angle.name == std::string("0")) {
        int top = 0, bottom = 0, left = 0, right = 0;
        for (UINT x = 0; x < w; ++x) top += ink(x, 0), bottom += ink(x, h - 1);
        for (UINT y = 0; y < h; ++y) left += ink(0, y), right += ink(w - 1, y);
        EXPECT_TRUE(top && bottom && left && right);
      }
    }
  }
  // 'T' has its bar at the top: the first row is wider than the last.
  const Glyph t = Render(u'T', kAngle0);
  const UINT stride = (t.gm.gmBlackBoxX + 31) / 32 * 4;
  auto row_ink = [&](UINT y) {
    int n = 0;
    for (UINT i = 0; i < stride; ++i) n += std::popcount(t.bits[y * stride + i]);
    return n;
  };
  EXPECT_GT(row_ink(0), 3 * row_ink(t.gm.gmBlackBoxY - 1));
}

TEST_F(TextTest, RefusesWhatItCannotProduce) {
  Use(Font(u"Arial", -312));
  GLYPHMETRICS gm{};
  std::vector<uint8_t> buf(6019);
  EXPECT_EQ(text_.GetGlyphOutlineW(dc_, u'A', GGO_BITMAP, &gm, 6019, buf.data(), &kAngle0),
            GDI_ERROR)
      << "a buffer one byte short";
  const struct {
    const char* name;
    UINT format;
    const MAT2* matrix;
  } calls[] = {
      {"GGO_METRICS", 0, &kAngle0},       {"GGO_NATIVE", 2, &kAngle0},
      {"GGO_GRAY8_BITMAP", 6, &kAngle0},  {"GGO_BITMAP by glyph index", 0x81, &kAngle0},
      {"no matrix", GGO_BITMAP, nullptr},
  };
  for (const auto& call : calls) {
    EXPECT_EQ(text_.GetGlyphOutlineW(dc_, u'A', call.format, &gm, 0, nullptr, call.matrix),
              GDI_ERROR)
        << call.name;
  }
}

// Bitmaps that would exhaust memory fail before anything is allocated.
TEST_F(TextTest, HugeGlyphsFail) {
  const struct {
    const char* name;
    LONG height;
    MAT2 matrix;
  } cases[] = {
      {"height -60000", -60000, kAngle0},
      {"height beyond the largest size", -2000000000, kAngle0},
      {"most negative height", static_cast<LONG>(0x80000000u), kAngle0},
      {"cell height 2e9", 2000000000, kAngle45},
      {"matrix scaling by 30000", -312,
       MAT2{Fixed(30000 << 16), Fixed(0), Fixed(0), Fixed(30000 << 16)}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Use(Font(u"Arial", c.height));
    GLYPHMETRICS gm{};
    EXPECT_EQ(text_.GetGlyphOutlineW(dc_, u'W', GGO_BITMAP, &gm, 0, nullptr, &c.matrix), GDI_ERROR);
  }
}

TEST_F(TextTest, HeightAndWidthRules) {
  const struct {
    const char* name;
    LONG height, width;
    LONG tm_height, ave_width;
  } cases[] = {
      {"positive height is the cell height", 348, 0, 348, 183},
      {"zero height is a 16 pixel cell", 0, 0, 16, 8},
      {"width doubles the average width", -312, 368, 348, 368},
      {"negative width counts as its magnitude", -312, -368, 348, 368},
      {"width without a height is ignored", 0, 368, 16, 8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Use(Font(u"Arial", c.height, c.width));
    TEXTMETRICW tm{};
    ASSERT_EQ(text_.GetTextMetricsW(dc_, &tm), kTrue);
    EXPECT_EQ(tm.tmHeight, c.tm_height);
    EXPECT_EQ(tm.tmAveCharWidth, c.ave_width);
  }
  // The doubled width widens glyphs and advances, not their height.
  Use(Font(u"Arial", -312, 368));
  const Glyph wide = Render(u'A', kAngle0);
  EXPECT_NEAR(wide.gm.gmBlackBoxX, 2 * 206, 3);
  EXPECT_EQ(wide.gm.gmBlackBoxY, 215u);
  EXPECT_NEAR(wide.gm.gmCellIncX, 2 * 208, 2);
}

// Escapement and orientation do not rotate the glyphs; the matrix does.
TEST_F(TextTest, EscapementDoesNotRotate) {
  LOGFONTW lf = Font(u"Arial", -312);
  lf.lfEscapement = 450;
  lf.lfOrientation = 450;
  Use(lf);
  const Glyph g = Render(u'A', kAngle0);
  EXPECT_EQ(g.gm.gmBlackBoxX, 206u);
  EXPECT_EQ(g.gm.gmCellIncY, 0);
}

TEST_F(TextTest, SelectObjectReturnsThePreviousFont) {
  const LOGFONTW lf = Font(u"Arial", -312);
  HGDIOBJ first = text_.CreateFontIndirectW(&lf);
  HGDIOBJ second = text_.CreateFontIndirectW(&lf);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, first);
  HGDIOBJ stock = text_.SelectObject(dc_, first);
  ASSERT_NE(stock, nullptr);
  EXPECT_EQ(text_.SelectObject(dc_, second), first);
  EXPECT_EQ(text_.SelectObject(dc_, stock), second);
  EXPECT_EQ(text_.SelectObject(dc_, stock), stock);
  EXPECT_EQ(text_.SelectObject(dc_, nullptr), nullptr);
  EXPECT_EQ(text_.SelectObject(nullptr, first), nullptr);

  EXPECT_EQ(text_.DeleteObject(second), kTrue);
  EXPECT_EQ(text_.DeleteObject(second), kFalse) << "deleted twice";
  EXPECT_EQ(text_.SelectObject(dc_, second), nullptr) << "selecting a deleted font";
  EXPECT_EQ(text_.DeleteObject(stock), kTrue) << "stock objects are never deleted";

  // A font deleted while selected serves the context until it is replaced.
  ASSERT_EQ(text_.SelectObject(dc_, first), stock);
  EXPECT_EQ(text_.DeleteObject(first), kTrue);
  TEXTMETRICW tm{};
  EXPECT_EQ(text_.GetTextMetricsW(dc_, &tm), kTrue);
  EXPECT_EQ(tm.tmHeight, 348);
  EXPECT_EQ(text_.SelectObject(dc_, stock), first);
  EXPECT_EQ(text_.DeleteObject(first), kFalse);
}

TEST_F(TextTest, ScreenContext) {
  EXPECT_EQ(text_.GetDeviceCaps(dc_, LOGPIXELSX), 96);
  text_.SetLogPixels(120);
  EXPECT_EQ(text_.GetDeviceCaps(dc_, LOGPIXELSX), 120);
  Use(Font(u"Arial", -312));
  TEXTMETRICW tm{};
  ASSERT_EQ(text_.GetTextMetricsW(dc_, &tm), kTrue);
  EXPECT_EQ(tm.tmDigitizedAspectX, 120);
  EXPECT_EQ(tm.tmHeight, 348) << "the font's pixel size does not depend on the dpi";

  LOGFONTW system{};
  ASSERT_EQ(text_.GetSystemFont(&system), kTrue);
  EXPECT_EQ(system.lfHeight, 16);
  EXPECT_EQ(system.lfWidth, 7);
  EXPECT_EQ(system.lfWeight, 700);
  EXPECT_EQ(system.lfPitchAndFamily, 0x22);
  EXPECT_EQ(std::u16string(system.lfFaceName), u"System");

  HDC other = text_.GetDC();
  EXPECT_NE(other, dc_) << "each context has its own selection";
  EXPECT_EQ(text_.ReleaseDC(other), 1);
  EXPECT_EQ(text_.ReleaseDC(other), 0);
  EXPECT_EQ(text_.GetDeviceCaps(other, LOGPIXELSX), 0);
}

TEST_F(TextTest, MappedFaceThatCannotLoadFails) {
  text_.MapFace(u"Missing", "/nonexistent/font.ttf");
  text_.MapFace(u"NotAFont", kLiberationSans + ".nothing");
  for (const char16_t* face : {u"Missing", u"MISSING", u"NotAFont"}) {
    const LOGFONTW lf = Font(face, -312);
    EXPECT_EQ(text_.CreateFontIndirectW(&lf), nullptr) << std::string(face, face + 3);
  }
  EXPECT_EQ(text_.CreateFontIndirectW(nullptr), nullptr);
}

TEST_F(TextTest, ContextsRenderConcurrently) {
  Use(Font(u"Arial", -312));
  const Glyph expected = Render(u'A', kAngle45);
  auto worker = [&](int* mismatches) {
    HDC dc = text_.GetDC();
    const LOGFONTW lf = Font(u"Arial", -312);
    HGDIOBJ font = text_.CreateFontIndirectW(&lf);
    HGDIOBJ old = text_.SelectObject(dc, font);
    std::vector<uint8_t> buf(expected.bits.size());
    for (int i = 0; i < 20; ++i) {
      GLYPHMETRICS gm{};
      const DWORD n = text_.GetGlyphOutlineW(dc, u'A', GGO_BITMAP, &gm,
                                             static_cast<DWORD>(buf.size()), buf.data(), &kAngle45);
      if (n != expected.size || buf != expected.bits) ++*mismatches;
    }
    text_.SelectObject(dc, old);
    text_.DeleteObject(font);
    text_.ReleaseDC(dc);
  };
  int a = 0, b = 0;
  std::thread t1(worker, &a), t2(worker, &b);
  t1.join();
  t2.join();
  EXPECT_EQ(a + b, 0);
}

bool HasScalableFonts() {
  FcConfig* config = FcInitLoadConfigAndFonts();
  if (!config) return false;
  FcPattern* pattern = FcPatternCreate();
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcObjectSet* objects = FcObjectSetBuild(FC_FILE, nullptr);
  FcFontSet* set = FcFontList(config, pattern, objects);
  const bool any = set && set->nfont > 0;
  if (set) FcFontSetDestroy(set);
  FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  FcConfigDestroy(config);
  return any;
}

// Without a mapping, fontconfig finds a font for "Arial" (Liberation Sans
// where it is installed).
TEST(TextFontconfigTest, ArialResolvesToSomeFont) {
  if (!HasScalableFonts()) GTEST_SKIP() << "no scalable fonts installed";
  PosixText text;
  HDC dc = text.GetDC();
  LOGFONTW lf = Font(u"Arial", -312);
  lf.lfWeight = 700;
  HGDIOBJ font = text.CreateFontIndirectW(&lf);
  ASSERT_NE(font, nullptr);
  text.SelectObject(dc, font);
  TEXTMETRICW tm{};
  ASSERT_EQ(text.GetTextMetricsW(dc, &tm), kTrue);
  EXPECT_GT(tm.tmHeight, 312);
  EXPECT_GE(tm.tmWeight, 700);
  GLYPHMETRICS gm{};
  EXPECT_GT(text.GetGlyphOutlineW(dc, u'A', GGO_BITMAP, &gm, 0, nullptr, &kAngle45), 0u);
  // The stock font of a fresh context is realized the same way.
  HDC fresh = text.GetDC();
  EXPECT_EQ(text.GetTextMetricsW(fresh, &tm), kTrue);
  text.ReleaseDC(fresh);
  text.ReleaseDC(dc);
}

}  // namespace
}  // namespace pclspool::posix
