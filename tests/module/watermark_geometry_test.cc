#include "watermark/watermark_geometry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "support/fakes/fake_text.h"
#include "support/fakes/test_job.h"
#include "watermark/character_table.h"

namespace pclspool {
namespace {

const HANDLE kPrinter = reinterpret_cast<HANDLE>(uintptr_t{0x77});

// A FIXED as the 32-bit 16.16 number it stands for.
int32_t Bits(FIXED f) {
  return static_cast<int32_t>((static_cast<uint32_t>(static_cast<uint16_t>(f.value)) << 16) |
                              f.fract);
}

JobContext Job(int32_t x_dim, int32_t y_dim) { return testing::Job(kPrinter, x_dim, y_dim); }

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
      // A job that never gave its size in dots is laid out on its paper
      // (A4 here), in its orientation.
      {"two-up without a page size", 0, 0, 1, false, 1, 0, -312, -220, 3507, 4959, 0.70705646f},
      {"landscape without a page size", 0, 0, 2, false, 0, 0, -312, -312, 7014, 4960, 1.0f},
      {"only the width given", 5000, 0, 1, false, 0, 0, -312, -312, 5000, 7014, 1.0f},
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
  GlyphEntry table[kCharacterTableEntries];
  struct Case {
    const char* name;
    std::u16string text;
    std::size_t kept;
    int32_t last_code;
    std::u16string trace;  // a text cut at a limit says where and why
  } cases[] = {
      {"empty", u"", 0, 0, u""},
      {"repeat takes the first code", u"AXA", 3, 34, u""},
      {"codes leave gaps at repeats", u"AXBA", 4, 34, u""},
      {"222 distinct end at code 255", distinct(222), 222, 255, u""},
      {"a new character at 222 is cut", distinct(230), 222, 255,
       u"Watermark text cut at character 223: its code would pass 255\n"},
      {"a repeat at 222 is kept", distinct(222) + u"\u0100" + u"Z", 223, 34,
       u"Watermark text cut at character 224: its code would pass 255\n"},
      {"cut after 255 characters", std::u16string(300, u'A'), 255, 34,
       u"Watermark text cut after 255 characters: the table holds no more\n"},
      {"255 characters exactly", std::u16string(255, u'A'), 255, 34, u""},
  };
  for (const Case& c : cases) {
    testing::FakePlatform fp;
    ASSERT_EQ(AssignCharacterCodes(table, c.text.c_str()), c.kept) << c.name;
    for (std::size_t i = 0; i < c.kept; ++i) ASSERT_EQ(table[i].character, int{c.text[i]});
    if (c.kept) {
      EXPECT_EQ(table[c.kept - 1].code, c.last_code) << c.name;
    }
    EXPECT_EQ(table[c.kept].code, 0) << c.name;
    EXPECT_EQ(table[c.kept].character, 0) << c.name;
    const std::vector<std::u16string> trace =
        c.trace.empty() ? std::vector<std::u16string>{} : std::vector<std::u16string>{c.trace};
    EXPECT_EQ(fp.debug.trace, trace) << c.name;
  }
  AssignCharacterCodes(table, u"AXBA");
  EXPECT_EQ(table[1].code, 35);
  EXPECT_EQ(table[2].code, 36);
}

}  // namespace
}  // namespace pclspool
