#include "watermark/watermark_drawing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fakes/fake_text.h"
#include "watermark/character_table.h"
#include "watermark/watermark_state.h"

namespace pclspool {
namespace {

const HANDLE kPrinter = reinterpret_cast<HANDLE>(uintptr_t{0x78});

GlyphEntry Entry(int32_t code, char16_t ch, int32_t advance_x, int32_t advance_y,
                 uint32_t skip = 0) {
  GlyphEntry e{};
  e.code = code;
  e.character = ch;
  e.advanceX = advance_x;
  e.advanceY = advance_y;
  e.skip = skip;
  return e;
}

class WatermarkDrawingTest : public ::testing::Test {
 protected:
  testing::FakeTextPlatform p;
  JobContext ctx{};

  void SetUp() override {
    p.fake.AddPrinter(kPrinter);
    ctx.hPrinter = kPrinter;
    ctx.hPageFile = InvalidHandleValue();
    ctx.dm.dmYResolution = 600;
    ctx.dm.dmOrientation = 1;
    ctx.lXDim = 4960;
    ctx.lYDim = 7014;
    state = MakeWatermarkState(ctx);
    ASSERT_NE(state, nullptr);
    state->layout = WatermarkLayoutRecord{4960, 7014, 0, 45};
    SetTable({});
  }
  void TearDown() override { FreeWatermarkState(ctx); }

  // The character table of a finished set-up: the entries given, then the
  // terminating entry.
  void SetTable(std::initializer_list<GlyphEntry> entries) {
    std::size_t i = 0;
    for (const GlyphEntry& e : entries) state->table[i++] = e;
    state->table[i] = GlyphEntry{};
  }

  WatermarkState* state = nullptr;

  // A page after the set-up page: the font is in the printer.
  void Downloaded(int32_t x, int32_t y) {
    ctx.bFontDownloaded = 1;
    ctx.lWaterX = x;
    ctx.lWaterY = y;
  }
  std::string TakeOutput() {
    std::string out;
    out.swap(p.fake.spooler.printers[kPrinter].output);
    return out;
  }
  // The HP-GL/2 labels of a page's bytes, between the shading and "DT;".
  static std::string Labels(const std::string& page) {
    const auto from = page.find("CF2;");
    const auto to = page.rfind("DT;");
    if (from == std::string::npos || to == std::string::npos) return "<no program>";
    return page.substr(from + 4, to - from - 4);
  }
};

// The page after the set-up page of a text of two distinct characters.
TEST_F(WatermarkDrawingTest, PageAfterTheSetUpPage) {
  SetTable({Entry(34, u'S', 221, -220), Entry(35, u'A', 250, -250)});
  Downloaded(1500, 4320);
  EXPECT_EQ(WatermarkEndPage(ctx), kTrue);
  // One macro, called and deleted. The frame: A4 portrait at 600 dpi,
  // from the logical page's left edge 142 dots in (4818 dots, 5782
  // decipoints wide) and the paper's full height (7014 dots, 8417 dp); the
  // labels 142 dots left of the layout's x to land where it says.
  EXPECT_EQ(TakeOutput(),
            "\x1B&f16300Y\x1B&f0X"
            "\x1B&f0S"
            "\x1B*v0N"
            "\x1B*v0O"
            "\x1B&l240O"
            "\x1B*c16300D"
            "\x1B&l0u0Z\x1B&l0E\x1B*p0x0Y\x1B*c0T\x1B*c5782x8417Y"
            "\x1B%0BIN;SP1;DT!;FI16300;SS;"
            "FT10,25;CF2;"
            "PA2299,4561;LB\"!;"
            "PA2673,4934;LB#!;"
            "DT;\x1B%0A"
            "\x1B&f1S"
            "\x1B&f1X\x1B&f3X\x1B&f8X");
}

TEST_F(WatermarkDrawingTest, ShadingFollowsDarkWithin0To100) {
  struct Case {
    const char* name;
    int32_t dark;
    const char* shading;
  } cases[] = {
      {"dark -12 would go below 0", -12, "FT10,0;CF2;"},
      {"very light", -1000, "FT10,0;CF2;"},
      {"dark -11", -11, "FT10,0;CF2;"},
      {"dark -10", -10, "FT10,1;CF2;"},
      {"dark 0", 0, "FT10,25;CF2;"},
      {"dark 1", 1, "FT10,27;CF2;"},
      {"dark 5", 5, "FT10,36;CF2;"},
      {"dark 10", 10, "FT10,48;CF2;"},
      {"dark 20", 20, "FT10,72;CF2;"},
      {"dark 31", 31, "FT10,98;CF2;"},
      {"dark 32", 32, "FT10,100;CF2;"},
      {"dark 33 would go above 100", 33, "FT10,100;CF2;"},
      {"very dark", 1000, "FT10,100;CF2;"},
  };
  Downloaded(0, 0);
  for (const Case& c : cases) {
    state->layout.dark = c.dark;
    WatermarkEndPage(ctx);
    EXPECT_NE(TakeOutput().find(c.shading), std::string::npos) << c.name;
  }
}

TEST_F(WatermarkDrawingTest, LabelBounds) {
  struct Case {
    const char* name;
    int64_t x, y;
    int32_t code;
    const char* label;
    LabelPlacement at = {0, 0, 4960, 7014};
  } cases[] = {
      {"x at the page width draws", 4960, 0, 34, "PA8398,11877;LB\"!;"},
      {"x one past the page width does not", 4961, 0, 34, ""},
      {"negative x draws with a negative X", -300, 0, 34, "PA-508,11877;LB\"!;"},
      {"negative X truncates toward zero", -1, 7014, 34, "PA-1,0;LB\"!;"},
      {"y at the page height draws at Y 0", 0, 7014, 34, "PA0,0;LB\"!;"},
      {"y one past the page height does not", 0, 7015, 34, ""},
      {"negative y draws above the page", 0, -600, 34, "PA0,12893;LB\"!;"},
      {"code 255 is one byte", 0, 7014, 255, "PA0,0;LB\xFF!;"},
      // The bounds hold for the laid-out page; the placement moves the
      // label after the test.
      {"placement moves right and down", 0, 7014, 34, "PA1016,-1693;LB\"!;", {600, 1000, 0, 7014}},
      {"placement left of the frame", 0, 0, 34, "PA-240,11877;LB\"!;", {-142, 0, 0, 7014}},
      {"a taller frame raises the label", 0, 7014, 34, "PA0,1693;LB\"!;", {0, 0, 0, 8014}},
      {"bounds before the placement", 4961, 0, 34, "", {-2000, 0, 0, 7014}},
  };
  for (const Case& c : cases) {
    DrawWatermarkChar(ctx, c.x, c.y, Entry(c.code, u'A', 0, 0), 4960, 7014, c.at);
    EXPECT_EQ(TakeOutput(), c.label) << c.name;
  }
  ctx.dm.dmYResolution = 0;
  DrawWatermarkChar(ctx, 0, 0, Entry(34, u'A', 0, 0), 4960, 7014, {0, 0, 4960, 7014});
  EXPECT_EQ(TakeOutput(), "") << "no resolution";
}

TEST_F(WatermarkDrawingTest, PenAdvancesOverBlanksAndLabelsLeftOut) {
  // A blank writes no label; a label beyond the right edge is left out;
  // the pen moves after every entry and later ones are tested on their own.
  SetTable({Entry(34, u'A', 150, 0), Entry(35, u' ', 50, 0, 1), Entry(36, u'B', -200, 0),
            Entry(37, u'C', 0, 0)});
  Downloaded(4800, 600);
  WatermarkEndPage(ctx);
  // A at 4800, the blank at 4950, B at 5000 beyond the edge, C at 4800.
  EXPECT_EQ(Labels(TakeOutput()), "PA7887,10861;LB\"!;PA7887,10861;LB%!;");
}

// Every page's text follows its page into its cell of the sheet (the
// sheet geometry's own tests say where the cells are): the labels of the
// four pages of a four-up sheet differ by the cells' origins and nothing
// else, and the fifth page starts the next sheet where the first did.
TEST_F(WatermarkDrawingTest, NupTextFollowsItsCell) {
  extra::SetU16(ctx.extra, extra::kNup, 2);
  state->layout.pageWidth = 2480;
  state->layout.pageHeight = 3507;
  SetTable({Entry(34, u'A', 100, -100)});
  Downloaded(1000, 2000);
  std::vector<std::string> labels;
  for (uint32_t page = 1; page <= 5; ++page) {
    ctx.cPages = page;
    WatermarkEndPage(ctx);
    labels.push_back(Labels(TakeOutput()));
  }
  // x 1000 - 142 and y 2000 on a frame 7014 high; cells at 2480 and 3507.
  EXPECT_EQ(labels[0], "PA1452,8490;LB\"!;");
  EXPECT_EQ(labels[1], "PA5652,8490;LB\"!;");
  EXPECT_EQ(labels[2], "PA1452,2551;LB\"!;");
  EXPECT_EQ(labels[3], "PA5652,2551;LB\"!;");
  EXPECT_EQ(labels[4], labels[0]);
}

// A booklet page is laid out full size with a shrunk font and centred on
// the half of the side where the imposition puts it: odd pages on the
// right in style 0, on the left in the other style. (Its bytes go into
// page files, so the placement is checked directly.)
TEST_F(WatermarkDrawingTest, BookletTextCentredOnItsHalf) {
  ctx.dm.dmPaperSize = 9 | 0x0400;
  struct Case {
    uint16_t style;
    uint32_t page;
    int64_t dx;
  } cases[] = {
      // The sheet is 7014 x 4960 (landscape, 118-dot offset), the halves
      // 3507 x 4959: the page's centre (2480, 3507) moves to a half's
      // centre (1753 or 5260, 2479).
      {0, 1, 3507 - 726 - 118},
      {0, 2, -726 - 118},
      {1, 1, -726 - 118},
      {1, 2, 3507 - 726 - 118},
      {0, 7, 3507 - 726 - 118},
  };
  for (const Case& c : cases) {
    extra::SetU16(ctx.extra, extra::kStyple, c.style);
    ctx.cPages = c.page;
    const LabelPlacement at = PlaceLabels(ctx, state->layout);
    EXPECT_EQ(at.dx, c.dx) << "style " << c.style << " page " << c.page;
    EXPECT_EQ(at.dy, -1027) << "style " << c.style << " page " << c.page;
    EXPECT_EQ(at.frameWidth, 7014 - 118);
    EXPECT_EQ(at.frameHeight, 4960);
  }
}

TEST_F(WatermarkDrawingTest, NoResolutionNoWatermark) {
  ctx.dm.dmYResolution = 0;
  SetTable({Entry(34, u'A', 100, -100)});
  Downloaded(1000, 2000);
  EXPECT_EQ(WatermarkEndPage(ctx), kTrue);
  EXPECT_EQ(TakeOutput(), "");

  // Not even the set-up runs.
  p.fake.profile.Set(u"StringSummary", u"SAMPLE", u"");
  extra::SetU16(ctx.extra, extra::kWaterIdx, 1);
  ctx.bFontDownloaded = 0;
  ctx.dm.dmYResolution = -600;
  WatermarkEndPage(ctx);
  EXPECT_EQ(TakeOutput(), "");
  EXPECT_EQ(ctx.bFontDownloaded, 0);
  EXPECT_TRUE(p.text.fonts_created.empty());
}

// Whole pages through the definitions, the set-up and the soft font.
class WatermarkJobTest : public WatermarkDrawingTest {
 protected:
  void SetUp() override {
    WatermarkDrawingTest::SetUp();
    p.fake.profile.Set(u"StringSummary", u"AB", u"");
    p.fake.profile.Set(u"AB", u"FaceName", u"Arial");
    p.fake.profile.Set(u"AB", u"Height", u"-50");
    p.fake.profile.Set(u"AB", u"Escapement", u"450");
    p.text.metrics.tmHeight = 312;
    p.text.metrics.tmAscent = 250;
    p.text.metrics.tmAveCharWidth = 150;
    p.text.metrics.tmMaxCharWidth = 300;
    p.text.extent = SIZE{2000, 300};
    p.text.glyphs[u'A'] = testing::InkedGlyph(40, 50, 221, -220);
    p.text.glyphs[u'B'] = testing::InkedGlyph(30, 50, 200, -200);
    extra::SetU16(ctx.extra, extra::kWaterIdx, 1);
  }
};

TEST_F(WatermarkJobTest, SetUpPageThenPlainPage) {
  WatermarkEndPage(ctx);
  const std::string first = TakeOutput();
  WatermarkEndPage(ctx);
  const std::string second = TakeOutput();

  EXPECT_EQ(ctx.bFontDownloaded, 1);
  EXPECT_EQ(p.text.fonts_created.size(), 1u) << "one set-up per job";
  // The set-up page: the font descriptor and both characters between the
  // opening commands and the font selection.
  const std::string open = "\x1B&f16300Y\x1B&f0X\x1B&f0S\x1B*v0N\x1B*v0O\x1B&l240O";
  const std::string select =
      "\x1B*c16300D\x1B&l0u0Z\x1B&l0E\x1B*p0x0Y\x1B*c0T\x1B*c5782x8417Y"
      "\x1B%0BIN;SP1;DT!;FI16300;SS;FT10,25;CF2;";
  ASSERT_EQ(first.rfind(open + "\x1B*c16300D\x1B)s68W", 0), 0u);
  const auto a = first.find("\x1B*c34E");
  const auto b = first.find("\x1B*c35E");
  const auto hpgl = first.find(select);
  ASSERT_NE(hpgl, std::string::npos);
  EXPECT_LT(a, b);
  EXPECT_LT(b, hpgl);
  // Later pages: only the selection and the same program.
  EXPECT_EQ(second.rfind(open + select, 0), 0u);
  EXPECT_EQ(second.find("\x1B)s68W"), std::string::npos);
  EXPECT_EQ(Labels(second), Labels(first));
  // Start 1879,4320 at 45 degrees, 142 dots in from the paper's edge; B
  // 221 dots right and 220 up.
  EXPECT_EQ(Labels(second), "PA2941,4561;LB\"!;PA3315,4934;LB#!;");
  // Both pages end by calling the macro.
  const std::string close = "DT;\x1B%0A\x1B&f1S\x1B&f1X\x1B&f3X\x1B&f8X";
  EXPECT_EQ(first.substr(first.size() - close.size()), close);
  EXPECT_EQ(second.substr(second.size() - close.size()), close);
}

TEST_F(WatermarkJobTest, NoTextNoBytesAndRetryNextPage) {
  extra::SetU16(ctx.extra, extra::kWaterIdx, 2);  // one text only
  EXPECT_EQ(WatermarkEndPage(ctx), kTrue);
  EXPECT_EQ(TakeOutput(), "");
  EXPECT_EQ(ctx.bFontDownloaded, 0);
  extra::SetU16(ctx.extra, extra::kWaterIdx, 1);
  WatermarkEndPage(ctx);
  EXPECT_EQ(ctx.bFontDownloaded, 1);
  EXPECT_NE(TakeOutput().find("LB\"!;"), std::string::npos);
}

}  // namespace
}  // namespace pclspool
