// Booklets and collated copies of real jobs print their pages in the
// booklet table's order, each page recognised on its sheet by its content.
//
// A booklet of n pages is folded from L = n rounded up to a multiple of 4
// page slots; sheet i's front holds pages 2i+1 and L-2i, its back pages
// 2i+2 and L-2i-1, in the opposite order with BOOKLET_STYLE=1. Slots
// beyond n are blank and print nothing. A side is one sheet once its pages
// are imposed on it; while pages print at full size, a page that sets its
// own page size (as every page Ghostscript makes does) ejects the one
// before it, and the side comes out as one sheet per page, in the side's
// order. Both are accepted; anything else is not.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "support/render/numbered_pages.h"
#include "support/render/print_job.h"
#include "support/render/real_jobs.h"
#include "support/render/renderer.h"
#include "support/scratch_dir.h"

namespace pclspool::render {
namespace {

// Squares of 120 points are some 80 pixels here: plenty to recognise.
constexpr int kDpi = 50;

using Side = std::vector<int>;

std::vector<Side> BookletSides(int pages, int style) {
  std::vector<Side> sides;
  const int slots = (pages + 3) / 4 * 4;
  for (int i = 0; i < slots / 4; ++i) {
    const Side front = {2 * i + 1, slots - 2 * i};
    const Side back = style == 1 ? Side{slots - 2 * i - 1, 2 * i + 2} : Side{2 * i + 2, slots - 2 * i - 1};
    for (Side side : {front, back}) {
      std::erase_if(side, [&](int page) { return page > pages; });
      if (!side.empty()) sides.push_back(side);
    }
  }
  return sides;
}

std::vector<Side> PageByPage(int pages) {
  std::vector<Side> sides;
  for (int page = 1; page <= pages; ++page) sides.push_back({page});
  return sides;
}

std::vector<Side> Repeated(const std::vector<Side>& sides, int copies) {
  std::vector<Side> all;
  for (int c = 0; c < copies; ++c) all.insert(all.end(), sides.begin(), sides.end());
  return all;
}

std::string Show(const std::vector<Side>& sheets) {
  std::ostringstream s;
  for (const Side& sheet : sheets) {
    s << "[";
    for (std::size_t i = 0; i < sheet.size(); ++i) s << (i ? " " : "") << sheet[i];
    s << "]";
  }
  return s.str();
}

// Each side is one sheet with its pages, or one sheet per page in order.
::testing::AssertionResult SheetsShowSides(const std::vector<Side>& sheets,
                                           const std::vector<Side>& sides) {
  std::size_t at = 0;
  for (const Side& side : sides) {
    Side sorted = side;
    std::sort(sorted.begin(), sorted.end());
    if (at < sheets.size() && sheets[at] == sorted) {
      ++at;
      continue;
    }
    for (int page : side) {
      if (at >= sheets.size() || sheets[at] != Side{page}) {
        return ::testing::AssertionFailure()
               << "sheets " << Show(sheets) << ", sides " << Show(sides) << ": sheet " << at + 1
               << " is not the side " << Show({side});
      }
      ++at;
    }
  }
  if (at != sheets.size()) {
    return ::testing::AssertionFailure() << "sheets " << Show(sheets) << ", sides " << Show(sides)
                                         << ": " << sheets.size() - at << " sheets too many";
  }
  return ::testing::AssertionSuccess();
}

TEST(RenderedBooklet, PagesPrintInBookletAndCollatedOrder) {
  PCLSPOOL_REQUIRE_RENDER_TOOLS();
  const std::vector<std::string> collated = {"--set", "FINISHER UNIT=1", "--set", "GROUPSORT=1",
                                             "--set", "COPIES=3"};
  const auto booklet = [](int style) {
    return std::vector<std::string>{"--set", "PAPER CODE=1033", "--set",
                                    "BOOKLET_STYLE=" + std::to_string(style)};
  };
  const auto both = [&](int style) {
    std::vector<std::string> options = booklet(style);
    options.insert(options.end(), collated.begin(), collated.end());
    return options;
  };
  struct Case {
    const char* name;
    int pages;
    std::vector<std::string> options;
    std::vector<Side> sides;
  } cases[] = {
      {"collated copies of 3", 3, collated, Repeated(PageByPage(3), 3)},
      {"booklet of 1", 1, booklet(0), BookletSides(1, 0)},
      {"booklet of 3", 3, booklet(0), BookletSides(3, 0)},
      {"booklet of 6", 6, booklet(0), BookletSides(6, 0)},
      {"booklet of 8", 8, booklet(0), BookletSides(8, 0)},
      {"booklet of 1, style 1", 1, booklet(1), BookletSides(1, 1)},
      {"booklet of 3, style 1", 3, booklet(1), BookletSides(3, 1)},
      {"booklet of 6, style 1", 6, booklet(1), BookletSides(6, 1)},
      {"booklet of 8, style 1", 8, booklet(1), BookletSides(8, 1)},
      {"collated booklets of 3", 3, both(0), Repeated(BookletSides(3, 0), 3)},
      {"collated booklets of 6, style 1", 6, both(1), Repeated(BookletSides(6, 1), 3)},
  };
  const testing::ScratchDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const JobFile job = GhostscriptJob("ljet4", c.pages);
    ASSERT_EQ(job.error, "");
    const PageImages printed = PrintAndRender(c.options, job.path, dir / "out.prn", kDpi);
    ASSERT_EQ(printed.error, "");
    std::vector<Side> sheets;
    for (const PageImage& sheet : printed.pages) sheets.push_back(PagesOnSheet(sheet));
    EXPECT_TRUE(SheetsShowSides(sheets, c.sides));
  }
}

}  // namespace
}  // namespace pclspool::render
