// The command's choices of sides and their order, printed with gpcl6: the
// numbered pages on each sheet, where they stand and which way up.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/render/numbered_pages.h"
#include "support/render/page_compare.h"
#include "support/render/print_job.h"
#include "support/render/real_jobs.h"
#include "support/render/renderer.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"

namespace pclspool::render {
namespace {

TEST(RenderedPageOrder, SidesPrintChosenOrderedAndTurned) {
  PCLSPOOL_REQUIRE_RENDER_TOOLS();
  const JobFile pdf = GhostscriptJob("pdfwrite", 5);
  ASSERT_EQ(pdf.error, "");
  const std::vector<std::string> two_up = {"--set", "TWOupFOUR=1"};
  const std::vector<std::string> four_up = {"--set", "TWOupFOUR=2"};
  const auto with = [](std::vector<std::string> a, std::vector<std::string> b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  struct Case {
    const char* name;
    std::vector<std::string> options;
    std::vector<std::string> sheets;  // LayoutOfSheet of each
  } cases[] = {
      // Portrait pages printed landscape: upright alone, read turned two-up.
      {"landscape", {"--orientation", "landscape"}, {"1@0", "2@0", "3@0", "4@0", "5@0"}},
      {"landscape, two-up", with(two_up, {"--orientation", "landscape"}), {"2@1 1@1", "4@1 3@1", "5@1"}},
      {"reverse landscape", {"--orientation", "reverse-landscape"}, {"1@0", "2@0", "3@0", "4@0", "5@0"}},
      {"reverse portrait, four-up", with(four_up, {"--orientation", "reverse-portrait"}),
       {"4@2 3@2 2@2 1@2", "5@2"}},
      {"odd sides of two-up", with(two_up, {"--page-set", "odd"}), {"2@1 1@1", "5@1"}},
      {"even sides, last first", {"--page-set", "even", "--reverse-order"}, {"4@0", "2@0"}},
      // The last sheet's empty cell keeps its place.
      {"two-up, last sheet first", with(two_up, {"--reverse-order"}), {"5@1", "4@1 3@1", "2@1 1@1"}},
      {"two-up, right to left", with(two_up, {"--number-up-layout", "rltb"}), {"1@1 2@1", "3@1 4@1", "5@1"}},
      {"four-up by columns from the right", with(four_up, {"--number-up-layout", "tbrl"}),
       {"3@0 1@0 4@0 2@0", "5@0"}},
  };
  const testing::ScratchDir dir{"page-order"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PageImages r = PrintAndRender(c.options, pdf.path, dir / "out.prn", 40);
    ASSERT_EQ(r.error, "");
    ASSERT_EQ(r.pages.size(), c.sheets.size());
    for (std::size_t i = 0; i < r.pages.size(); ++i) {
      EXPECT_EQ(LayoutOfSheet(r.pages[i]), c.sheets[i]) << "sheet " << i + 1;
    }
  }
  // Two documents with two collated copies: each copy both documents, or
  // each document's copies together.
  const JobFile a = GhostscriptJob("pdfwrite", 3);
  const std::string b = (dir / "b.pdf").string();
  ASSERT_EQ(testing::RunProgram({.argv = {"gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE",
                                          "-sDEVICE=pdfwrite", "-sPageList=1-2",
                                          "-sOutputFile=" + b, a.path.string()}})
                .status,
            0);
  const std::vector<std::string> copies = {"--set", "FINISHER UNIT=1", "--set", "GROUPSORT=1",
                                           "--set", "COPIES=2", a.path.string()};
  for (const auto& [documents, pages] :
       {std::pair<const char*, std::vector<int>>{"collated", {1, 2, 3, 1, 2, 1, 2, 3, 1, 2}},
        {"uncollated", {1, 2, 3, 1, 2, 3, 1, 2, 1, 2}}}) {
    const PageImages r = PrintAndRender(with(copies, {"--documents", documents}), b, dir / "docs.prn", 20);
    ASSERT_EQ(r.error, "");
    std::vector<int> got;
    for (const PageImage& sheet : r.pages) {
      for (int page : PagesOnSheet(sheet)) got.push_back(page);
    }
    EXPECT_EQ(got, pages) << documents;
  }
  // Borders: a frame around each cell, outside its page's own.
  const PageImages plain = PrintAndRender(four_up, pdf.path, dir / "plain.prn", 40);
  const PageImages framed = PrintAndRender(with(four_up, {"--page-border"}), pdf.path, dir / "framed.prn", 40);
  ASSERT_EQ(framed.pages.size(), 2u);
  ASSERT_EQ(plain.pages.size(), 2u);
  EXPECT_EQ(LayoutOfSheet(framed.pages[0]), LayoutOfSheet(plain.pages[0]));
  EXPECT_GT(InkPixels(framed.pages[0], {0, 0, framed.pages[0].width, framed.pages[0].height}),
            InkPixels(plain.pages[0], {0, 0, plain.pages[0].width, plain.pages[0].height}) + 400);
}

}  // namespace
}  // namespace pclspool::render
