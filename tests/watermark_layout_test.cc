#include "watermark/watermark_layout.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "fake_text.h"
#include "watermark/character_table.h"

namespace pclspool {
namespace {

const HANDLE kPrinter = reinterpret_cast<HANDLE>(uintptr_t{0x77});

// A FIXED as the 32-bit 16.16 number it stands for.
int32_t Bits(FIXED f) {
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint16_t>(f.value)) << 16) |
                              f.fract);
}

std::size_t Count(const std::string& haystack, const std::string& needle) {
  std::size_t n = 0;
  for (auto at = haystack.find(needle); at != std::string::npos; at = haystack.find(needle, at + 1))
    ++n;
  return n;
}

JobContext Job(int32_t x_dim, int32_t y_dim) {
  JobContext ctx{};
  ctx.hPrinter = kPrinter;
  ctx.hPageFile = InvalidHandleValue();
  ctx.dm.dmYResolution = 600;
  ctx.dm.dmOrientation = 1;
  ctx.lXDim = x_dim;
  ctx.lYDim = y_dim;
  return ctx;
}

TEST(CalcScaleRatio, Branches) {
  struct Case {
    const char* name;
    int32_t a, b;
    double expected;
  } cases[] = {
      {"half the long side over the short side", 4960, 7014, 3507.0 / 4960},
      {"short side over the long side", 3000, 7014, 3000.0 / 7014},
      {"equal halves take the second branch", 1, 2, 0.5},
      {"sides beyond 46340 dots do not overflow", 60000, 80000, 40000.0 / 60000},
      {"no width: no scaling", 0, 7014, 1.0},
      {"no height: no scaling", 4960, 0, 1.0},
      {"negative side: no scaling", -4960, 7014, 1.0},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(CalcScaleRatio(c.a, c.b), c.expected) << c.name;
  EXPECT_EQ(static_cast<float>(CalcScaleRatio(4960, 7014)), 0.70705646f);
}

TEST(RotationMatrix, FixedPointAtWholeAngles) {
  struct Case {
    const char* name;
    int32_t angle;
    int32_t m11, m12, m21, m22;
  } cases[] = {
      {"0 degrees", 0, 65536, 0, 0, 65536},
      {"45 degrees truncates toward zero", 45, 46340, 46340, -46340, 46340},
      {"90 degrees: the ten-digit pi's cosine truncates to 0", 90, 0, 65536, -65536, 0},
      {"-45 degrees", -45, 46340, -46340, 46340, 46340},
  };
  for (const Case& c : cases) {
    const MAT2 m = MakeRotationMatrix(c.angle);
    EXPECT_EQ(Bits(m.eM11), c.m11) << c.name;
    EXPECT_EQ(Bits(m.eM12), c.m12) << c.name;
    EXPECT_EQ(Bits(m.eM21), c.m21) << c.name;
    EXPECT_EQ(Bits(m.eM22), c.m22) << c.name;
  }
  // The high word is the value, the low word the fraction.
  const FIXED minus_half = ToFixed(-0.5);
  EXPECT_EQ(minus_half.value, -1);
  EXPECT_EQ(minus_half.fract, 0x8000);
  EXPECT_EQ(Bits(ToFixed(1e12)), INT32_MAX) << "saturates";
}

TEST(FontHeightInDots, ScreenPixelsToJobDots) {
  EXPECT_EQ(FontHeightInDots(-50, 600, 96), -312) << "-312.5 truncates toward zero";
  EXPECT_EQ(FontHeightInDots(50, 600, 96), 312);
  EXPECT_EQ(FontHeightInDots(-50, 600, 0), 0) << "no screen resolution";
  EXPECT_EQ(FontHeightInDots(INT32_MIN, 600, 96), INT32_MIN) << "saturates";
}

TEST(ScaleToPage, ZoomBookletAndNup) {
  struct Case {
    const char* name;
    int32_t x_dim, y_dim;
    int16_t orientation;
    bool booklet;
    uint16_t nup, zoom;
    int32_t height_in;
    int32_t height, page_width, page_height;
    float ratio;
  } cases[] = {
      {"one-up", 4960, 7014, 1, false, 0, 0, -312, -312, 4960, 7014, 1.0f},
      {"zoom 2 is 141 per cent", 4960, 7014, 1, false, 0, 2, -312, -439, 4960, 7014, 1.0f},
      {"zoom 14 is 64 per cent", 4960, 7014, 1, false, 0, 14, -312, -199, 4960, 7014, 1.0f},
      {"zoom 15 has no entry: no zoom", 4960, 7014, 1, false, 0, 15, -312, -312, 4960, 7014, 1.0f},
      {"two-up portrait", 4960, 7014, 1, false, 1, 0, -312, -220, 3507, 4959, 0.70705646f},
      {"two-up landscape passes the same pair", 7014, 4960, 2, false, 1, 0, -312, -220, 4959, 3507,
       0.70705646f},
      {"two-up after zoom", 4960, 7014, 1, false, 1, 2, -312, -310, 3507, 4959, 0.70705646f},
      {"four-up halves toward zero", 4961, 7015, 1, false, 2, 0, -313, -156, 2480, 3507, 0.5f},
      {"booklet scales the height only", 4960, 7014, 1, true, 0, 0, -312, -220, 4960, 7014,
       0.70705646f},
      {"booklet wins over two-up", 4960, 7014, 1, true, 1, 0, -312, -220, 4960, 7014, 0.70705646f},
      {"booklet wins over four-up", 4960, 7014, 1, true, 2, 0, -312, -220, 4960, 7014, 0.70705646f},
      {"two-up without a page size", 0, 0, 1, false, 1, 0, -312, -312, 0, 0, 1.0f},
  };
  testing::FakePlatform fake;
  for (const Case& c : cases) {
    JobContext ctx = Job(c.x_dim, c.y_dim);
    ctx.dm.dmOrientation = c.orientation;
    ctx.dm.dmPaperSize = static_cast<int16_t>(9 | (c.booklet ? 0x0400 : 0));
    extra::SetU16(ctx.extra, extra::kNup, c.nup);
    extra::SetU16(ctx.extra, extra::kZoomIndex, c.zoom);
    const PageScale s = ScaleToPage(ctx, c.height_in);
    EXPECT_EQ(s.height, c.height) << c.name;
    EXPECT_EQ(s.pageWidth, c.page_width) << c.name;
    EXPECT_EQ(s.pageHeight, c.page_height) << c.name;
    EXPECT_EQ(s.ratio, c.ratio) << c.name;
  }
}

TEST(CenteredStart, RotatedBox) {
  struct Case {
    const char* name;
    int32_t page_width, page_height, angle;
    SIZE extent;
    POINT start;
  } cases[] = {
      {"angle 0", 4960, 7014, 0, {2000, 300}, {1480, 3657}},
      {"angle 45", 4960, 7014, 45, {2000, 300}, {1879, 4320}},
      {"angle 90", 4960, 7014, 90, {2000, 300}, {2630, 4507}},
      {"negative angle keeps the signs", 4960, 7014, -45, {2000, 300}, {1667, 2906}},
      {"180 degrees truncates the near-zero sine", 4960, 7014, 180, {2000, 300}, {3479, 3357}},
      {"text wider than the page halves toward zero", 1000, 1000, 0, {2001, 0}, {-500, 500}},
      {"no extent: the page's centre", 4961, 7015, 30, {0, 0}, {2480, 3507}},
  };
  for (const Case& c : cases) {
    const POINT p = CenteredStart(c.page_width, c.page_height, c.angle, c.extent);
    EXPECT_EQ(p.x, c.start.x) << c.name;
    EXPECT_EQ(p.y, c.start.y) << c.name;
  }
}

TEST(OffsetInDots, TenthsOfAnInchAtScale) {
  struct Case {
    const char* name;
    WatermarkDefinition def;
    float ratio;
    POINT offset;
  } cases[] = {
      {"centred: offsets ignored", {0, 5, 5, 1}, 1.0f, {0, 0}},
      {"one-up", {0, 5, -5, 0}, 1.0f, {300, -300}},
      {"two-up", {0, 5, 0, 0}, 0.70705646f, {212, 0}},
      {"four-up", {0, 5, 3, 0}, 0.5f, {150, 90}},
      {"negative truncates toward zero", {0, -1, 0, 0}, 0.70705646f, {-42, 0}},
  };
  for (const Case& c : cases) {
    const POINT p = OffsetInDots(c.def, 600, c.ratio);
    EXPECT_EQ(p.x, c.offset.x) << c.name;
    EXPECT_EQ(p.y, c.offset.y) << c.name;
  }
}

TEST(AssignCharacterCodes, FirstOccurrenceCodesAndCut) {
  const auto distinct = [](std::size_t n) {
    std::u16string s;
    for (std::size_t i = 0; i < n; ++i) s += static_cast<char16_t>(0x100 + i);
    return s;
  };
  struct Case {
    const char* name;
    std::u16string text;
    std::size_t kept;
    int32_t last_code;
  } cases[] = {
      {"empty", u"", 0, 0},
      {"repeat takes the first code", u"AXA", 3, 34},
      {"codes leave gaps at repeats", u"AXBA", 4, 34},
      {"222 distinct end at code 255", distinct(222), 222, 255},
      {"a new character at 222 is cut", distinct(230), 222, 255},
      {"a repeat at 222 is kept", distinct(222) + u"\u0100" + u"Z", 223, 34},
      {"cut after 255 characters", std::u16string(300, u'A'), 255, 34},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(AssignCharacterCodes(c.text.c_str()), c.kept) << c.name;
    for (std::size_t i = 0; i < c.kept; ++i) ASSERT_EQ(CharacterTable[i].character, int{c.text[i]});
    if (c.kept) {
      EXPECT_EQ(CharacterTable[c.kept - 1].code, c.last_code) << c.name;
    }
    EXPECT_EQ(CharacterTable[c.kept].code, 0) << c.name;
    EXPECT_EQ(CharacterTable[c.kept].character, 0) << c.name;
  }
  AssignCharacterCodes(u"AXBA");
  EXPECT_EQ(CharacterTable[1].code, 35);
  EXPECT_EQ(CharacterTable[2].code, 36);
}

class WatermarkSetupTest : public ::testing::Test {
 protected:
  testing::FakeTextPlatform p;
  JobContext ctx = Job(4960, 7014);

  void SetUp() override {
    p.fake.AddPrinter(kPrinter);
    p.text.metrics.tmHeight = 312;
    p.text.metrics.tmAscent = 250;
    p.text.metrics.tmAveCharWidth = 150;
    p.text.metrics.tmMaxCharWidth = 300;
    p.text.extent = SIZE{2000, 300};
    p.text.glyphs[u'A'] = testing::InkedGlyph(40, 50, 221, -220);
    p.text.glyphs[u'X'] = testing::InkedGlyph(33, 50, 200, -200);
    p.text.glyphs[u'B'] = testing::InkedGlyph(64, 64, 230, -230);
    p.text.glyphs[u' '] = testing::BlankGlyph(100, -100);
    Define(u"FaceName", u"Arial");
    Define(u"Height", u"-50");
  }

  void Define(const std::u16string& key, const std::u16string& value) {
    for (const char16_t* text : {u"AXA", u"A B", u"AQB", u"AB", u"B"})
      p.fake.profile.Set(text, key, value);
  }
  const std::string& Output() { return p.fake.spooler.printers[kPrinter].output; }
  const std::vector<std::u16string>& Traces() { return p.fake.debug.trace; }
  void ExpectEverythingGivenBack() {
    EXPECT_EQ(p.text.dcs_held, 0);
    EXPECT_EQ(p.text.fonts_live, 0);
    EXPECT_EQ(p.text.selected, testing::FakeText::kStockFont);
    EXPECT_EQ(p.fake.heap.live, 0);
  }
};

TEST_F(WatermarkSetupTest, RotatedTextAtFortyFiveDegrees) {
  Define(u"Escapement", u"450");
  Define(u"Dark", u"3");
  WatermarkSetup(ctx, u"AXA");

  ASSERT_EQ(p.text.fonts_created.size(), 1u);
  const LOGFONTW& font = p.text.fonts_created[0];
  EXPECT_EQ(font.lfHeight, -312);
  EXPECT_EQ(font.lfEscapement, 0) << "upright font, rotated glyphs";
  EXPECT_EQ(font.lfOrientation, 450);
  EXPECT_EQ(std::u16string(font.lfFaceName), u"Arial");
  EXPECT_EQ(WatermarkWorkFont.lfHeight, -312);

  EXPECT_EQ(WatermarkLayout.angle, 45);
  EXPECT_EQ(WatermarkLayout.dark, 3);
  EXPECT_EQ(WatermarkLayout.pageWidth, 4960);
  EXPECT_EQ(WatermarkLayout.pageHeight, 7014);
  EXPECT_EQ(ctx.lWaterX, 1879);
  EXPECT_EQ(ctx.lWaterY, 4320);
  EXPECT_EQ(ctx.bFontDownloaded, 1);
  EXPECT_EQ(p.text.texts_measured, std::vector<std::u16string>{u"AXA"});

  const MAT2 rotation = MakeRotationMatrix(45);
  for (const auto& r : p.text.glyph_requests)
    EXPECT_EQ(std::memcmp(&r.matrix, &rotation, sizeof(MAT2)), 0);
  EXPECT_EQ(Traces().front(), u"ScaleRatio:1000 over 1000 \n");
  EXPECT_EQ(Traces().back(), u"WMStr40[0,0],Center:1\n");
  ExpectEverythingGivenBack();
}

TEST_F(WatermarkSetupTest, RepeatedCharacterIsRenderedOnce) {
  WatermarkSetup(ctx, u"AXA");
  EXPECT_EQ(p.text.Rendered(), u"AX");
  EXPECT_EQ(CharacterTable[0].code, 34);
  EXPECT_EQ(CharacterTable[1].code, 35);
  EXPECT_EQ(CharacterTable[2].code, 34);
  EXPECT_EQ(CharacterTable[3].code, 0);
  const GlyphEntry& first = CharacterTable[0];
  const GlyphEntry& repeat = CharacterTable[2];
  EXPECT_EQ(repeat.advanceX, 221);
  EXPECT_EQ(repeat.advanceY, -220);
  EXPECT_EQ(repeat.skip, 0u);
  EXPECT_EQ(std::memcmp(&repeat.metrics, &first.metrics, sizeof(GLYPHMETRICS)), 0);
  EXPECT_EQ(CharacterTable[1].advanceX, 200);
  // Downloaded once each, after the font descriptor.
  EXPECT_EQ(Count(Output(), "\x1B)s68W"), 1u);
  EXPECT_EQ(Count(Output(), "\x1B*c34E"), 1u);
  EXPECT_EQ(Count(Output(), "\x1B*c35E"), 1u);
  EXPECT_LT(Output().find("\x1B)s68W"), Output().find("\x1B*c34E"));
}

TEST_F(WatermarkSetupTest, BlankIsSkippedButAdvances) {
  WatermarkSetup(ctx, u"A B");
  const GlyphEntry& blank = CharacterTable[1];
  EXPECT_EQ(blank.code, 35);
  EXPECT_EQ(blank.skip, 1u);
  EXPECT_EQ(blank.advanceX, 100);
  EXPECT_EQ(blank.advanceY, -100);
  EXPECT_EQ(CharacterTable[2].skip, 0u);
  EXPECT_EQ(Count(Output(), "\x1B*c35E"), 0u);
  EXPECT_EQ(Count(Output(), "\x1B*c36E"), 1u);
}

TEST_F(WatermarkSetupTest, TwoUpScalesFontPageAndOffsets) {
  extra::SetU16(ctx.extra, extra::kNup, 1);
  Define(u"CenterToPage", u"0");
  Define(u"XOffset", u"5");
  p.text.extent = SIZE{1000, 200};
  WatermarkSetup(ctx, u"AB");

  EXPECT_EQ(p.text.fonts_created.at(0).lfHeight, -220);
  EXPECT_EQ(WatermarkLayout.pageWidth, 3507);
  EXPECT_EQ(WatermarkLayout.pageHeight, 4959);
  EXPECT_EQ(ctx.lWaterX, (3507 - 1000) / 2 + 212);
  EXPECT_EQ(ctx.lWaterY, 200 + (4959 - 200) / 2);
  const std::vector<std::u16string> expected = {
      u"CalcScaleRatio 4960,7014 \n", u"ScaleRatio:707 over 1000 \n", u"WMStr40[212,0],Center:0\n"};
  EXPECT_EQ(Traces(), expected);
}

TEST_F(WatermarkSetupTest, TextEndsAtACharacterThatCannotBeRendered) {
  struct Case {
    const char* name;
    const char16_t* text;
    int heap_fail_after;
    std::size_t kept;
  } cases[] = {
      {"no glyph for Q", u"AQB", -1, 1},
      {"scratch buffer cannot grow for B", u"AB", 1, 1},
      {"scratch buffer cannot be allocated", u"B", 0, 0},
  };
  for (const Case& c : cases) {
    p.fake.heap.fail_after = c.heap_fail_after;
    WatermarkSetup(ctx, c.text);
    for (std::size_t i = 0; i < c.kept; ++i)
      EXPECT_EQ(CharacterTable[i].code, 34 + int(i)) << c.name;
    EXPECT_EQ(CharacterTable[c.kept].code, 0) << c.name;
    EXPECT_EQ(CharacterTable[c.kept].character, 0) << c.name;
    ExpectEverythingGivenBack();
  }
  EXPECT_EQ(p.text.Rendered(), u"AQABB") << "nothing after the failing character";
  EXPECT_EQ(Count(Output(), "\x1B*c35E"), 0u);
}

TEST_F(WatermarkSetupTest, UnmeasuredTextStartsAtThePageCentre) {
  p.text.fail_extent = true;
  WatermarkSetup(ctx, u"AB");
  EXPECT_EQ(ctx.lWaterX, 2480);
  EXPECT_EQ(ctx.lWaterY, 3507);
  EXPECT_EQ(CharacterTable[1].code, 35) << "the glyphs are still rendered";
}

TEST_F(WatermarkSetupTest, OverLongTextIsMeasuredAsKept) {
  p.text.any_glyph = testing::InkedGlyph(8, 8, 10, 0);
  std::u16string text;
  for (char16_t c = 0x100; c < 0x100 + 230; ++c) text += c;
  WatermarkSetup(ctx, text.c_str());
  ASSERT_EQ(p.text.texts_measured.size(), 1u);
  EXPECT_EQ(p.text.texts_measured[0], text.substr(0, 222));
  EXPECT_EQ(CharacterTable[221].code, 255);
  EXPECT_EQ(CharacterTable[222].code, 0);
}

// Without a font to render there is no text to draw, and no font
// descriptor built from absent metrics; the set-up still completes.
TEST(WatermarkSetup, RasteriserFailuresGiveAnEmptyText) {
  struct Case {
    const char* name;
    std::function<void(testing::FakeText&)> fail;
  } cases[] = {
      {"no screen context", [](testing::FakeText& t) { t.fail_get_dc = true; }},
      {"no screen resolution", [](testing::FakeText& t) { t.log_pixels = 0; }},
      {"font not created", [](testing::FakeText& t) { t.fail_create_font = true; }},
      {"font not selected", [](testing::FakeText& t) { t.fail_select = true; }},
      {"no text metrics", [](testing::FakeText& t) { t.fail_metrics = true; }},
  };
  for (const Case& c : cases) {
    testing::FakeTextPlatform fresh;
    fresh.fake.AddPrinter(kPrinter);
    fresh.fake.profile.Set(u"AB", u"FaceName", u"Arial");
    fresh.text.glyphs[u'A'] = testing::InkedGlyph(40, 50, 221, -220);
    fresh.text.glyphs[u'B'] = testing::InkedGlyph(64, 64, 230, -230);
    c.fail(fresh.text);
    JobContext job = Job(4960, 7014);
    AssignCharacterCodes(u"stale");
    WatermarkSetup(job, u"AB");

    EXPECT_EQ(CharacterTable[0].code, 0) << c.name;
    EXPECT_EQ(job.bFontDownloaded, 1) << c.name;
    EXPECT_EQ(WatermarkLayout.pageWidth, 4960) << c.name;
    EXPECT_EQ(job.lWaterX, 2480) << c.name;
    EXPECT_EQ(job.lWaterY, 3507) << c.name;
    EXPECT_EQ(fresh.fake.spooler.printers[kPrinter].output, "") << c.name;
    EXPECT_EQ(fresh.text.Rendered(), u"") << c.name;
    EXPECT_EQ(fresh.text.dcs_held, 0) << c.name;
    EXPECT_EQ(fresh.text.fonts_live, 0) << c.name;
    EXPECT_EQ(fresh.text.selected, testing::FakeText::kStockFont) << c.name;
  }
}

}  // namespace
}  // namespace pclspool
