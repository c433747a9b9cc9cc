// PDF pages through `pclspool print` onto n-up sheets and into booklets,
// checked on the page as the PCL interpreter prints them: every cell, or
// half of a booklet side, holds the right page, the right way up, at the
// right place within a few dots.
//
// The documents are made by Ghostscript from a small PostScript program:
// eight pages, each with a bar along every edge, a block in the top-left
// corner, its number as a large digit, and a square in the n-th of eight
// slots along the top that tells the page by where it is.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "job/paper.h"
#include "job/sheet_layout.h"
#include "support/child_process.h"
#include "support/render/print_job.h"
#include "support/render/renderer.h"
#include "support/scratch_dir.h"
#include "support/test_files.h"

namespace pclspool::render {
namespace {

namespace fs = std::filesystem;

// Page marks, in points from the page's top-left corner.
constexpr double kBar = 8;                           // edge bars
constexpr double kSlotY = 120, kSlotSize = 40;       // slot n at x = 60 n
constexpr double kCorner = 30, kCornerSize = 40;     // the top-left block

std::string PageProgram(int width, int height) {
  return "%!PS\n/pw " + std::to_string(width) + " def /ph " + std::to_string(height) +
         " def\n"
         "/box { /h exch def /w exch def /y exch def /x exch def x ph y sub h sub w h rectfill } def\n"
         "1 1 8 { /n exch def << /PageSize [pw ph] >> setpagedevice\n"
         "  0 0 pw 8 box 0 ph 8 sub pw 8 box 0 0 8 ph box pw 8 sub 0 8 ph box\n"
         "  30 30 40 40 box n 60 mul 120 40 40 box\n"
         "  /Helvetica findfont 150 scalefont setfont 250 ph 2 div 50 sub moveto\n"
         "  n 1 string cvs show showpage } for\n";
}

// A printed side, addressed in the job's dots from the sheet's top-left
// corner as the sheet is printed. gpcl6 draws every side upright on the
// paper; a landscape side is turned a quarter on it, its top along the
// paper's left edge.
struct Side {
  PageImage image;
  int32_t job_resolution, image_resolution;
  bool landscape;
  bool Black(double x, double y) const {
    const auto ix = static_cast<int64_t>(std::floor(x * image_resolution / job_resolution));
    const auto iy = static_cast<int64_t>(std::floor(y * image_resolution / job_resolution));
    const int64_t col = landscape ? iy : ix;
    const int64_t row = landscape ? image.height - 1 - ix : iy;
    if (col < 0 || row < 0 || col >= image.width || row >= image.height) return false;
    return image.At(static_cast<int>(col), static_cast<int>(row)) <= kInkLevel;
  }
  double Step() const { return static_cast<double>(job_resolution) / image_resolution; }
};

struct Case {
  const char* name;
  std::vector<std::string> options;
  int32_t resolution;
  bool landscape_document;
  // Per printed side, the page in each cell (reading order); 0 is blank.
  std::vector<std::vector<int>> sides;
};

[[maybe_unused]] void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class RenderedPdf : public ::testing::TestWithParam<Case> {
 protected:
  // The documents, made once for all cases.
  static void SetUpTestSuite() {
    if (!MissingRenderTools().empty()) return;
    dir_ = std::make_unique<testing::ScratchDir>();
    for (const auto& [name, w, h] : {std::tuple{"portrait", 595, 842}, {"landscape", 842, 595}}) {
      const fs::path ps = *dir_ / (std::string(name) + ".ps");
      testing::WriteFile(ps, PageProgram(w, h));
      const testing::ProgramRun run = testing::RunProgram(
          {.argv = {"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pdfwrite",
                    "-sOutputFile=" + (*dir_ / (std::string(name) + ".pdf")).string(),
                    ps.string()}});
      ASSERT_TRUE(run.Ok()) << run.Describe("gs");
    }
  }
  static void TearDownTestSuite() { dir_.reset(); }

  static std::unique_ptr<testing::ScratchDir> dir_;
};

std::unique_ptr<testing::ScratchDir> RenderedPdf::dir_;

// The settings the case gives, as the command reads them.
int32_t Setting(const Case& c, const std::string& key, int32_t def) {
  for (std::size_t i = 0; i + 1 < c.options.size(); ++i) {
    if (c.options[i] == "--set" && c.options[i + 1].rfind(key + "=", 0) == 0)
      return std::atoi(c.options[i + 1].c_str() + key.size() + 1);
  }
  return def;
}

// Walks from `from` towards `to` (job dots, along one axis) in image
// pixels and returns the coordinate where ink begins, or NAN.
template <typename At>
double FirstInk(double from, double to, double step, At black) {
  const double dir = to > from ? step : -step;
  for (double v = from; dir > 0 ? v <= to : v >= to; v += dir) {
    if (black(v)) return dir > 0 ? v : v + step;
  }
  return NAN;
}

TEST_P(RenderedPdf, EveryCellHoldsItsPage) {
  PCLSPOOL_REQUIRE_RENDER_TOOLS();
  const Case& c = GetParam();
  const testing::ScratchDir work;
  fs::create_directories(work / "spool");
  std::vector<std::string> options = {"--spool-dir", (work / "spool").string()};
  options.insert(options.end(), c.options.begin(), c.options.end());
  const testing::ProgramRun run =
      PrintJob(options, *dir_ / (c.landscape_document ? "landscape.pdf" : "portrait.pdf"),
               work / "out.prn");
  ASSERT_TRUE(run.Ok()) << run.Describe("pclspool print");
  EXPECT_TRUE(fs::is_empty(work / "spool")) << "page files left";

  const int32_t image_resolution = std::min(c.resolution, 300);
  const PageImages printed = RenderPages(work / "out.prn", image_resolution);
  ASSERT_EQ(printed.error, "");
  ASSERT_EQ(printed.pages.size(), c.sides.size()) << "printed sides";

  // The cells as the job's layout has them, the same the watermark follows.
  const int32_t paper_code = Setting(c, "PAPER CODE", 1);
  const bool landscape = Setting(c, "ORIENTATION", 1) == 2;
  const Paper& paper = *PaperByCode(paper_code);
  int32_t pw = DotsAt(paper.width300, c.resolution), ph = DotsAt(paper.height300, c.resolution);
  if (landscape) std::swap(pw, ph);
  const SheetJob job{pw, ph, landscape, static_cast<uint16_t>(Setting(c, "TWOupFOUR", 0)),
                     (paper_code & 0x400) != 0, static_cast<uint16_t>(Setting(c, "BOOKLET_STYLE", 0))};
  const SheetLayout layout = LayoutSheet(job);
  const bool sheet_landscape = layout.sheetWidth > layout.sheetHeight;
  const double offset = LogicalPageOffset(paper, sheet_landscape, c.resolution);
  const double doc_w = c.landscape_document ? 842 : 595, doc_h = c.landscape_document ? 595 : 842;
  const double tolerance = std::max(3.0, 2.0 * c.resolution / image_resolution);

  for (std::size_t s = 0; s < c.sides.size(); ++s) {
    SCOPED_TRACE("side " + std::to_string(s + 1));
    const Side side{printed.pages[s], c.resolution, image_resolution, sheet_landscape};
    for (int32_t cell = 0; cell < layout.cells; ++cell) {
      SCOPED_TRACE("cell " + std::to_string(cell));
      const int page = c.sides[s][cell];
      const CellOrigin o = OriginOfCell(layout, cell);
      const double step = side.Step();
      if (page == 0) {
        int ink = 0;
        for (double y = o.y; y < o.y + layout.cellHeight; y += step)
          for (double x = o.x; x < o.x + layout.cellWidth; x += step) ink += side.Black(x, y);
        EXPECT_EQ(ink, 0) << "a blank slot has ink";
        continue;
      }
      SCOPED_TRACE("page " + std::to_string(page));
      // Ghostscript scales the page to fit its cell and centres it.
      const double f = std::min(layout.cellWidth / doc_w, layout.cellHeight / doc_h);
      const double left = o.x + (layout.cellWidth - doc_w * f) / 2;
      const double top = o.y + (layout.cellHeight - doc_h * f) / 2;
      const auto X = [&](double pt) { return left + pt * f; };
      const auto Y = [&](double pt) { return top + pt * f; };
      const auto ink_at = [&](double px, double py) {
        // Most of a small square around the point, in page points.
        int black = 0, all = 0;
        for (double dy = -5; dy <= 5; dy += 2.5)
          for (double dx = -5; dx <= 5; dx += 2.5) black += side.Black(X(px + dx), Y(py + dy)), ++all;
        return black * 10 > all * 8;
      };
      const auto paper_at = [&](double px, double py) {
        int black = 0;
        for (double dy = -5; dy <= 5; dy += 2.5)
          for (double dx = -5; dx <= 5; dx += 2.5) black += side.Black(X(px + dx), Y(py + dy));
        return black == 0;
      };
      // Which page: the slot with the square, and only that one.
      for (int slot = 1; slot <= 8; ++slot) {
        const double cx = 60 * slot + kSlotSize / 2, cy = kSlotY + kSlotSize / 2;
        if (slot == page) {
          EXPECT_TRUE(ink_at(cx, cy)) << "no square in slot " << slot;
        } else {
          EXPECT_TRUE(paper_at(cx, cy)) << "a square in slot " << slot;
        }
      }
      // Upright: the block in the top-left corner, none in the others.
      const double k = kCorner + kCornerSize / 2;
      EXPECT_TRUE(ink_at(k, k)) << "no block at the top left";
      EXPECT_TRUE(paper_at(doc_w - k, k)) << "a block at the top right";
      EXPECT_TRUE(paper_at(k, doc_h - k)) << "a block at the bottom left";
      // Where: the inner edge of every bar, walking from inside the page
      // out to it. A bar outside the printer's logical page (left of its
      // x = 0, or as far from the paper's right edge) is not printed.
      const double reach = 8 * tolerance;
      const double mid_x = X(doc_w / 2), mid_y = Y(doc_h / 2);
      const auto along_x = [&](double y) { return [&, y](double x) { return side.Black(x, y); }; };
      const auto along_y = [&](double x) { return [&, x](double y) { return side.Black(x, y); }; };
      const double edges[][2] = {
          {FirstInk(Y(kBar) + reach, Y(kBar) - reach, step, along_y(mid_x)), Y(kBar)},
          {FirstInk(Y(doc_h - kBar) - reach, Y(doc_h - kBar) + reach, step, along_y(mid_x)),
           Y(doc_h - kBar)},
          {X(doc_w - kBar) + tolerance <= layout.sheetWidth - offset
               ? FirstInk(X(doc_w - kBar) - reach, X(doc_w - kBar) + reach, step, along_x(mid_y))
               : X(doc_w - kBar),
           X(doc_w - kBar)},
          {X(kBar) - tolerance >= offset
               ? FirstInk(X(kBar) + reach, X(kBar) - reach, step, along_x(mid_y))
               : X(kBar),
           X(kBar)},
      };
      const char* edge_names[] = {"top", "bottom", "right", "left"};
      for (int e = 0; e < 4; ++e) {
        EXPECT_NEAR(edges[e][0], edges[e][1], tolerance) << edge_names[e] << " bar";
      }
    }
  }
}

const std::vector<std::string> kA4 = {"--set", "PAPER CODE=9", "--set", "YRESOLUTION=300"};

std::vector<std::string> With(std::vector<std::string> base, const std::vector<std::string>& more) {
  base.insert(base.end(), more.begin(), more.end());
  return base;
}

// A booklet reads in page order once its sheets are printed on both sides
// (turned about the fold), stacked and folded: the outermost sheet holds
// the covers and their backs, and so inward. With odd pages on the right
// (the cover on the right half of the first front) that makes, left |
// right per side: 8|1, 2|7, 6|3, 4|5; mirrored for odd pages on the left.
INSTANTIATE_TEST_SUITE_P(
    Layouts, RenderedPdf,
    ::testing::Values(
        Case{"A4_one_up", kA4, 300, false, {{1}, {2}, {3}, {4}, {5}, {6}, {7}, {8}}},
        Case{"A4_two_up", With(kA4, {"--set", "TWOupFOUR=1"}), 300, false,
             {{1, 2}, {3, 4}, {5, 6}, {7, 8}}},
        Case{"A4_four_up", With(kA4, {"--set", "TWOupFOUR=2"}), 300, false,
             {{1, 2, 3, 4}, {5, 6, 7, 8}}},
        Case{"A4_booklet_odd_pages_right", {"--set", "PAPER CODE=1033", "--set", "YRESOLUTION=300"},
             300, false, {{8, 1}, {2, 7}, {6, 3}, {4, 5}}},
        Case{"A4_booklet_odd_pages_left",
             {"--set", "PAPER CODE=1033", "--set", "YRESOLUTION=300", "--set", "BOOKLET_STYLE=1"},
             300, false, {{1, 8}, {7, 2}, {3, 6}, {5, 4}}},
        Case{"A4_booklet_of_six_pages_has_blank_slots",
             {"--set", "PAPER CODE=1033", "--set", "YRESOLUTION=300", "--page-ranges", "1-6"}, 300,
             false, {{0, 1}, {2, 0}, {6, 3}, {4, 5}}},
        Case{"A4_landscape_two_up", With(kA4, {"--set", "ORIENTATION=2", "--set", "TWOupFOUR=1"}),
             300, true, {{1, 2}, {3, 4}, {5, 6}, {7, 8}}},
        Case{"Letter_two_up_at_600_dpi_pages_3_to_6",
             {"--set", "PAPER CODE=1", "--set", "TWOupFOUR=1", "--page-ranges", "3-6"}, 600, false,
             {{3, 4}, {5, 6}}},
        Case{"A4_booklet_at_1200_dpi",
             {"--set", "PAPER CODE=1033", "--set", "YRESOLUTION=1200"}, 1200, false,
             {{8, 1}, {2, 7}, {6, 3}, {4, 5}}}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace pclspool::render
