// The watermark on paper: printed by the interpreter, a watermarked page
// differs from the same page printed plain only inside the watermark's
// glyphs, every glyph lands where its label puts it on the paper (the
// glyphs decoded from the stream itself), and pages that rely on state an
// earlier page set print as they do without a watermark.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <fstream>
#include <string>
#include <vector>

#include "job/sheet_layout.h"
#include "support/class2_decoder.h"
#include "support/render/bitmap_match.h"
#include "support/render/page_compare.h"
#include "support/render/print_job.h"
#include "support/render/real_jobs.h"
#include "support/render/renderer.h"
#include "support/scratch_dir.h"
#include "support/test_files.h"

namespace pclspool::render {
namespace {

namespace fs = std::filesystem;

constexpr int kDpi = 600;
// A4 portrait at 600 dpi as a PCL printer prints it: the logical page
// begins 142 dots in from the paper's left edge.
constexpr int kPaperHeight = 7014;
constexpr int kLogicalPageOffset = 142;

const std::string kFont = std::string(PCLSPOOL_TEST_DATA) + "/LiberationSans-Regular.ttf";

// One label of a page's watermark: the pen in plotter units and the code.
struct Label {
  int x, y, code;
};

// The labels of every page's watermark, page by page, in stream order.
std::vector<std::vector<Label>> LabelsByPage(const std::string& out) {
  std::vector<std::vector<Label>> pages;
  for (std::size_t at = out.find("IN;SP1;DT!;"); at != std::string::npos;
       at = out.find("IN;SP1;DT!;", at + 1)) {
    const std::size_t end = out.find("DT;\x1B%0A", at);
    std::vector<Label> labels;
    for (std::size_t p = out.find("PA", at); p < end; p = out.find("PA", p + 1)) {
      int x = 0, y = 0;
      char lb[3] = {};
      if (std::sscanf(out.c_str() + p, "PA%d,%d;%2c", &x, &y, lb) != 3 || lb[0] != 'L') continue;
      const std::size_t code_at = out.find(";LB", p) + 3;
      labels.push_back({x, y, static_cast<uint8_t>(out[code_at])});
    }
    pages.push_back(labels);
  }
  return pages;
}

struct Glyph {
  Bitmap bitmap;
  int left, top;
};

// The glyphs the stream downloads, by code (the last download wins).
std::map<int, Glyph> Glyphs(const std::string& out) {
  std::map<int, Glyph> glyphs;
  const testing::SoftFontStream fonts = testing::ParseSoftFont(out);
  EXPECT_TRUE(fonts.ok()) << fonts.error;
  for (const testing::SoftFontChar& c : fonts.chars) {
    testing::DecodedBitmap d = c.Class() == 2
                                   ? testing::DecodeClass2(c.data.data(), c.data.size(),
                                                           c.Width(), c.Height())
                                   : testing::DecodedBitmap{c.data, ""};
    EXPECT_TRUE(d.ok()) << d.error;
    Glyph g{{c.Width(), c.Height(), d.rows}, c.LeftOffset(), c.TopOffset()};
    glyphs[c.code] = g;
  }
  return glyphs;
}

// Where a label's glyph belongs on the paper: the pen back from plotter
// units, from the frame the watermark anchors at the top of the logical
// page, then the glyph's own offsets.
Point GlyphPlace(const Label& l, const Glyph& g) {
  const double pen_x = l.x * kDpi / 1016.0 + kLogicalPageOffset;
  const double pen_y = kPaperHeight - l.y * kDpi / 1016.0;
  return {static_cast<int>(std::lround(pen_x)) + g.left, static_cast<int>(std::lround(pen_y)) - g.top};
}

class RenderedWatermark : public ::testing::Test {
 protected:
  void SetUp() override {
    PCLSPOOL_REQUIRE_RENDER_TOOLS();
    // Solid labels (Dark 32), so that a glyph on paper is its bitmap.
    WriteIni(32);
  }

  void WriteIni(int dark) {
    std::ofstream(dir_ / "OrvWater.INI")
        << "[SETTING]\nPAPER CODE=9\n[StringSummary]\nWATERMARK=\n"
           "[WATERMARK]\nFaceName=Arial\nHeight=-60\nWidth=0\nEscapement=450\nDark="
        << dark << "\n";
  }

  // Prints `job` plain and watermarked; checks each watermarked page
  // against the plain one.
  void Check(const fs::path& job, const std::vector<std::string>& extra = {}) {
    std::vector<std::string> base = {"--ini", (dir_ / "OrvWater.INI").string(), "--font",
                                     "Arial=" + kFont};
    base.insert(base.end(), extra.begin(), extra.end());
    std::vector<std::string> marked = base;
    marked.insert(marked.end(), {"--watermark", "1"});
    const PageImages plain = PrintAndRender(base, job, dir_ / "plain.prn", kDpi);
    const PageImages wm = PrintAndRender(marked, job, dir_ / "marked.prn", kDpi);
    ASSERT_TRUE(plain.error.empty()) << plain.error;
    ASSERT_TRUE(wm.error.empty()) << wm.error;
    ASSERT_EQ(wm.pages.size(), plain.pages.size()) << "a watermark adds no sheet";

    const std::string out = testing::ReadFile(dir_ / "marked.prn");
    const auto labels = LabelsByPage(out);
    const auto glyphs = Glyphs(out);
    ASSERT_EQ(labels.size(), wm.pages.size()) << "one watermark a page";
    for (std::size_t i = 0; i < wm.pages.size(); ++i) {
      SCOPED_TRACE("page " + std::to_string(i + 1));
      const PageImage& page = wm.pages[i];
      ASSERT_FALSE(labels[i].empty());
      // Every glyph where its label puts it, within 2 dots.
      PageImage mask = page;  // paper where a glyph may print
      std::fill(mask.pixels.begin(), mask.pixels.end(), 0);
      for (const Label& l : labels[i]) {
        const auto g = glyphs.find(l.code);
        ASSERT_NE(g, glyphs.end()) << "label of a code never downloaded: " << l.code;
        const Point want = GlyphPlace(l, g->second);
        // Rotated glyphs' boxes overlap their neighbours' ink, so only the
        // glyph's own pixels count: all of them inked, at a place within 2
        // dots of the label's (one dot off leaves hundreds bare).
        std::size_t best = SIZE_MAX;
        for (int dy = -2; dy <= 2; ++dy)
          for (int dx = -2; dx <= 2; ++dx)
            best = std::min(best, MatchBitmap(page, g->second.bitmap, want.x + dx, want.y + dy).unprinted);
        EXPECT_EQ(best, 0u) << "code " << l.code << " not printed near " << want.x << ","
                            << want.y;
        for (int y = -2; y < g->second.bitmap.height + 2; ++y)
          for (int x = -2; x < g->second.bitmap.width + 2; ++x) {
            const int px = want.x + x, py = want.y + y;
            if (px >= 0 && py >= 0 && px < mask.width && py < mask.height)
              mask.pixels[static_cast<std::size_t>(py) * mask.width + px] = 255;
          }
      }
      // Outside the glyphs the page is the plain page, pixel for pixel.
      std::size_t outside = 0;
      const PageImage& base_page = plain.pages[i];
      for (std::size_t k = 0; k < page.pixels.size(); ++k)
        if (page.pixels[k] != base_page.pixels[k] && mask.pixels[k] == 0) ++outside;
      EXPECT_EQ(outside, 0u) << "pixels changed outside the watermark's glyphs";
    }
  }

  testing::ScratchDir dir_;
};

TEST_F(RenderedWatermark, GhostscriptJob) {
  const JobFile job = GhostscriptJob("ljet4", 3);
  ASSERT_TRUE(job.error.empty()) << job.error;
  Check(job.path);
}

TEST_F(RenderedWatermark, SampleJobWhoseThirdPageSetsItsOwnFrame) {
  Check(fs::path(PCLSPOOL_EXAMPLES) / "sample.pcl");
}

// Page 1 chooses fonts, transparency modes, a picture frame and HP-GL/2
// state; page 2 prints with all of them without choosing them again.
TEST_F(RenderedWatermark, StateSetOnAnEarlierPage) {
  const fs::path job = dir_ / "state.pcl";
  std::ofstream(job, std::ios::binary)
      << "\x1B" "E\x1B&l26A\x1B&l0O\x1B&u600D\x1B*t600R"
         "\x1B(10U\x1B(s1p14v0s0b4148T\x1B)0N\x1B)s0p10h12v0s0b3T"
         "\x1B*v1N\x1B*v1O\x1B*c7200x5000Y\x1B*p600x2000Y\x1B*c0T"
         "\x1B*p300x400YPage one\x1B%0BIN;SP1;PW1.5;FT3,40,45;PA500,500;PD;PR2000,0;PU;\x1B%0A"
         "\x1B*p300x3000Y\x1B*c2G\f"
         "\x1B*p300x500YPage two\x0ESECONDARY\x0F back"
         "\x1B%0BPD;PR0,2000;PU;RR3000,1500;\x1B%0A"
         "\x1B*p1000x1000Y\x1B*c1000a300b2P\x1B*p700x3500YEnd.\f"
         "\x1B" "E\x1B%-12345X";
  Check(job);
}

// Darkness beyond the shading's range: a printer refuses a level outside
// 0..100 and fills the labels solid, so the level is held to the range. The
// lightest watermark adds no ink; the darkest prints its glyphs solid.
TEST_F(RenderedWatermark, ShadingBeyondItsRange) {
  const fs::path job = fs::path(PCLSPOOL_EXAMPLES) / "sample.pcl";
  const std::vector<std::string> options = {"--ini", (dir_ / "OrvWater.INI").string(), "--font",
                                            "Arial=" + kFont, "--watermark", "1"};
  const PageImages plain = RenderPages(job, 150);
  ASSERT_TRUE(plain.error.empty()) << plain.error;
  struct Case {
    int dark;
    bool inked;
  } cases[] = {{-12, false}, {-40, false}, {33, true}, {60, true}};
  for (const Case& c : cases) {
    WriteIni(c.dark);
    const PageImages marked = PrintAndRender(options, job, dir_ / "marked.prn", 150);
    ASSERT_TRUE(marked.error.empty()) << marked.error;
    const PageDiff diff = ComparePages(plain.pages[0], marked.pages[0]);
    if (c.inked) {
      // Solid glyphs: the watermark's box is mostly ink.
      EXPECT_GT(InkPixels(marked.pages[0], diff.box), diff.pixels / 2) << "dark " << c.dark;
      EXPECT_GT(diff.pixels, 10000u) << "dark " << c.dark;
    } else {
      EXPECT_EQ(diff.pixels, 0u) << "dark " << c.dark << " prints";
    }
  }
}

// On n-up sheets and booklet sides every page carries its own watermark,
// centred on its cell: the text moves with its page (four-up cells, two-up
// and booklet halves, in both booklet styles), nothing of it spills into
// another cell, and it shrinks with the page: its ink on a page of a two-up
// sheet or a booklet side is about half (the page is scaled by 1/sqrt(2))
// of what a page printed alone gets, a quarter on a four-up sheet.
TEST_F(RenderedWatermark, EveryCellCarriesItsPagesWatermarkCentred) {
  constexpr int kSeen = 100;  // dpi of the rendering
  const JobFile pdf = GhostscriptJob("pdfwrite", 8);
  ASSERT_TRUE(pdf.error.empty()) << pdf.error;
  struct Case {
    const char* name;
    std::vector<std::string> settings;
    SheetJob sheet;
    double share;  // of the one-up watermark's ink, per page
  } cases[] = {
      {"one-up", {}, {4960, 7014, false, 0, false, 0}, 1},
      {"two-up", {"--set", "TWOupFOUR=1"}, {4960, 7014, false, 1, false, 0}, 0.5},
      {"four-up", {"--set", "TWOupFOUR=2"}, {4960, 7014, false, 2, false, 0}, 0.25},
      {"booklet, style 0", {"--set", "PAPER CODE=1033"}, {4960, 7014, false, 0, true, 0}, 0.5},
      {"booklet, style 1", {"--set", "PAPER CODE=1033", "--set", "BOOKLET_STYLE=1"},
       {4960, 7014, false, 0, true, 1}, 0.5},
  };
  double one_up = 0;  // ink per page
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> base = {"--ini", (dir_ / "OrvWater.INI").string(), "--font",
                                     "Arial=" + kFont};
    base.insert(base.end(), c.settings.begin(), c.settings.end());
    std::vector<std::string> marked = base;
    marked.insert(marked.end(), {"--watermark", "1"});
    const PageImages plain = PrintAndRender(base, pdf.path, dir_ / "plain.prn", kSeen);
    const PageImages wm = PrintAndRender(marked, pdf.path, dir_ / "marked.prn", kSeen);
    ASSERT_TRUE(plain.error.empty()) << plain.error;
    ASSERT_TRUE(wm.error.empty()) << wm.error;
    ASSERT_EQ(wm.pages.size(), plain.pages.size());

    const SheetLayout layout = LayoutSheet(c.sheet);
    const double k = static_cast<double>(kSeen) / kDpi;
    for (std::size_t side = 0; side < wm.pages.size(); ++side) {
      SCOPED_TRACE("side " + std::to_string(side + 1));
      const PageImage& a = plain.pages[side];
      const PageImage& b = wm.pages[side];
      ASSERT_EQ(a.pixels.size(), b.pixels.size());
      struct Sum {
        double x = 0, y = 0;
        std::size_t n = 0;
      };
      std::vector<Sum> cells(static_cast<std::size_t>(layout.cells));
      std::size_t outside = 0;
      for (int row = 0; row < b.height; ++row) {
        for (int col = 0; col < b.width; ++col) {
          if (a.At(col, row) == b.At(col, row)) continue;
          // gpcl6 draws a landscape sheet with its top along the paper's
          // left edge.
          const double x = layout.turned ? (b.height - 1 - row) / k : col / k;
          const double y = layout.turned ? col / k : row / k;
          int in = -1;
          for (int32_t cell = 0; cell < layout.cells; ++cell) {
            const CellOrigin o = OriginOfCell(layout, cell);
            if (x >= o.x && x < o.x + layout.cellWidth && y >= o.y && y < o.y + layout.cellHeight)
              in = cell;
          }
          if (in < 0) {
            ++outside;
            continue;
          }
          cells[static_cast<std::size_t>(in)].x += x;
          cells[static_cast<std::size_t>(in)].y += y;
          ++cells[static_cast<std::size_t>(in)].n;
        }
      }
      EXPECT_EQ(outside, 0u) << "watermark pixels outside every cell";
      double per_page = 0;
      for (const Sum& sum : cells) per_page += static_cast<double>(sum.n) / layout.cells;
      if (c.share == 1) one_up = per_page;
      EXPECT_NEAR(per_page / one_up, c.share, c.share * 0.25) << "the watermark's ink per page";
      for (int32_t cell = 0; cell < layout.cells; ++cell) {
        const Sum& sum = cells[static_cast<std::size_t>(cell)];
        ASSERT_GT(sum.n, 500u) << "cell " << cell << " has no watermark";
        const CellOrigin o = OriginOfCell(layout, cell);
        // The ink's centre is the text box's centre, give or take the
        // glyphs' shapes: within 4 per cent of the cell.
        EXPECT_NEAR(sum.x / sum.n, o.x + layout.cellWidth / 2.0, layout.cellWidth * 0.04)
            << "cell " << cell;
        EXPECT_NEAR(sum.y / sum.n, o.y + layout.cellHeight / 2.0, layout.cellHeight * 0.04)
            << "cell " << cell;
      }
    }
  }
}

}  // namespace
}  // namespace pclspool::render
