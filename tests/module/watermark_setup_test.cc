#include "watermark/watermark_setup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>

#include "support/fakes/fake_text.h"
#include "support/fakes/test_job.h"
#include "support/test_files.h"
#include "watermark/character_table.h"
#include "watermark/watermark_geometry.h"

namespace pclspool {
namespace {

const HANDLE kPrinter = reinterpret_cast<HANDLE>(uintptr_t{0x77});

using testing::Count;

JobContext Job(int32_t x_dim, int32_t y_dim) { return testing::Job(kPrinter, x_dim, y_dim); }

class WatermarkSetupTest : public ::testing::Test {
 protected:
  testing::FakeTextPlatform p;
  JobContext ctx = Job(4960, 7014);
  WatermarkState state{};

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
  WatermarkSetup(ctx, state, u"AXA");

  ASSERT_EQ(p.text.fonts_created.size(), 1u);
  const LOGFONTW& font = p.text.fonts_created[0];
  EXPECT_EQ(font.lfHeight, -312);
  EXPECT_EQ(font.lfEscapement, 0) << "upright font, rotated glyphs";
  EXPECT_EQ(font.lfOrientation, 450);
  EXPECT_EQ(std::u16string(font.lfFaceName), u"Arial");
  EXPECT_EQ(state.workFont.lfHeight, -312);

  EXPECT_EQ(state.layout.angle, 45);
  EXPECT_EQ(state.layout.dark, 3);
  EXPECT_EQ(state.layout.pageWidth, 4960);
  EXPECT_EQ(state.layout.pageHeight, 7014);
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
  WatermarkSetup(ctx, state, u"AXA");
  EXPECT_EQ(p.text.Rendered(), u"AX");
  EXPECT_EQ(state.table[0].code, 34);
  EXPECT_EQ(state.table[1].code, 35);
  EXPECT_EQ(state.table[2].code, 34);
  EXPECT_EQ(state.table[3].code, 0);
  const GlyphEntry& first = state.table[0];
  const GlyphEntry& repeat = state.table[2];
  EXPECT_EQ(repeat.advanceX, 221);
  EXPECT_EQ(repeat.advanceY, -220);
  EXPECT_EQ(repeat.skip, 0u);
  EXPECT_EQ(std::memcmp(&repeat.metrics, &first.metrics, sizeof(GLYPHMETRICS)), 0);
  EXPECT_EQ(state.table[1].advanceX, 200);
  // Downloaded once each, after the font descriptor.
  EXPECT_EQ(Count(Output(), "\x1B)s68W"), 1u);
  EXPECT_EQ(Count(Output(), "\x1B*c34E"), 1u);
  EXPECT_EQ(Count(Output(), "\x1B*c35E"), 1u);
  EXPECT_LT(Output().find("\x1B)s68W"), Output().find("\x1B*c34E"));
}

TEST_F(WatermarkSetupTest, BlankIsSkippedButAdvances) {
  WatermarkSetup(ctx, state, u"A B");
  const GlyphEntry& blank = state.table[1];
  EXPECT_EQ(blank.code, 35);
  EXPECT_EQ(blank.skip, 1u);
  EXPECT_EQ(blank.advanceX, 100);
  EXPECT_EQ(blank.advanceY, -100);
  EXPECT_EQ(state.table[2].skip, 0u);
  EXPECT_EQ(Count(Output(), "\x1B*c35E"), 0u);
  EXPECT_EQ(Count(Output(), "\x1B*c36E"), 1u);
}

TEST_F(WatermarkSetupTest, TwoUpScalesFontPageAndOffsets) {
  extra::SetU16(ctx.extra, extra::kNup, 1);
  Define(u"CenterToPage", u"0");
  Define(u"XOffset", u"5");
  p.text.extent = SIZE{1000, 200};
  WatermarkSetup(ctx, state, u"AB");

  EXPECT_EQ(p.text.fonts_created.at(0).lfHeight, -220);
  EXPECT_EQ(state.layout.pageWidth, 3507);
  EXPECT_EQ(state.layout.pageHeight, 4959);
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
    const char16_t* trace;
  } cases[] = {
      {"no glyph for Q", u"AQB", -1, 1,
       u"Watermark text cut at character 2 (U+0051): the rasteriser cannot render it\n"},
      {"scratch buffer cannot grow for B", u"AB", 1, 1,
       u"Watermark text cut at character 2 (U+0042): no memory for its bitmap\n"},
      {"scratch buffer cannot be allocated", u"B", 0, 0,
       u"Watermark text cut at character 1 (U+0042): no memory for its bitmap\n"},
  };
  for (const Case& c : cases) {
    p.fake.heap.fail_after = c.heap_fail_after;
    p.fake.debug.trace.clear();
    WatermarkSetup(ctx, state, c.text);
    EXPECT_NE(std::find(Traces().begin(), Traces().end(), c.trace), Traces().end()) << c.name;
    for (std::size_t i = 0; i < c.kept; ++i)
      EXPECT_EQ(state.table[i].code, 34 + int(i)) << c.name;
    EXPECT_EQ(state.table[c.kept].code, 0) << c.name;
    EXPECT_EQ(state.table[c.kept].character, 0) << c.name;
    ExpectEverythingGivenBack();
  }
  EXPECT_EQ(p.text.Rendered(), u"AQABB") << "nothing after the failing character";
  EXPECT_EQ(Count(Output(), "\x1B*c35E"), 0u);
}

TEST_F(WatermarkSetupTest, UnmeasuredTextStartsAtThePageCentre) {
  p.text.fail_extent = true;
  WatermarkSetup(ctx, state, u"AB");
  EXPECT_EQ(ctx.lWaterX, 2480);
  EXPECT_EQ(ctx.lWaterY, 3507);
  EXPECT_EQ(state.table[1].code, 35) << "the glyphs are still rendered";
}

TEST_F(WatermarkSetupTest, OverLongTextIsMeasuredAsKept) {
  p.text.any_glyph = testing::InkedGlyph(8, 8, 10, 0);
  std::u16string text;
  for (char16_t c = 0x100; c < 0x100 + 230; ++c) text += c;
  WatermarkSetup(ctx, state, text.c_str());
  ASSERT_EQ(p.text.texts_measured.size(), 1u);
  EXPECT_EQ(p.text.texts_measured[0], text.substr(0, 222));
  EXPECT_EQ(state.table[221].code, 255);
  EXPECT_EQ(state.table[222].code, 0);
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
    WatermarkState state{};
    AssignCharacterCodes(state.table, u"stale");
    WatermarkSetup(job, state, u"AB");

    EXPECT_EQ(state.table[0].code, 0) << c.name;
    EXPECT_EQ(job.bFontDownloaded, 1) << c.name;
    EXPECT_EQ(state.layout.pageWidth, 4960) << c.name;
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
