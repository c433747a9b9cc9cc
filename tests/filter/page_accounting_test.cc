// CUPS's PAGE lines: one for every printed side, as it is printed, with its
// copies; the sum is what the printer prints.
#include "page_accounting.h"

#include <gtest/gtest.h>

#include <string>

namespace pclspool::filter {
namespace {

// The PAGE lines of a job of `pages` pages, as the filter writes them:
// during the job, then at its end.
std::string Lines(const JobRequest& r, uint32_t pages) {
  const SheetPlan plan = PlanSheets(r);
  std::string out;
  for (uint32_t p = 1; p <= pages; ++p) {
    if (const auto l = SideEndedBy(p, plan)) {
      out += std::to_string(l->side) + "x" + std::to_string(l->copies) + " ";
    }
  }
  out += "| ";
  const SideRange rest = SidesAtEnd(pages, plan);
  for (uint32_t s = rest.first; s <= rest.last && s != 0; ++s) {
    out += std::to_string(s) + "x" + std::to_string(rest.copies) + " ";
  }
  return out;
}

TEST(PageAccounting, OneLineForEachPrintedSide) {
  struct Case {
    const char* name;
    InputKind kind;
    int copies;
    bool collate;
    int number_up;
    bool booklet;
    uint32_t pages;
    const char* lines;  // "side x copies", during the job | at its end
  } cases[] = {
      {"one-up", InputKind::kPdf, 1, true, 1, false, 3, "1x1 2x1 3x1 | "},
      {"two-up, last side half full", InputKind::kPdf, 1, true, 2, false, 5, "1x1 2x1 | 3x1 "},
      {"two-up, even", InputKind::kPdf, 1, true, 2, false, 4, "1x1 2x1 | "},
      {"four-up", InputKind::kPdf, 1, true, 4, false, 9, "1x1 2x1 | 3x1 "},
      {"uncollated copies count as they print", InputKind::kPdf, 3, false, 2, false, 3,
       "1x3 | 2x3 "},
      {"collated copies count at the end", InputKind::kPdf, 3, true, 1, false, 2, "| 1x3 2x3 "},
      {"collated two-up", InputKind::kPdf, 2, true, 2, false, 3, "| 1x2 2x2 "},
      {"booklet: two sides a sheet, blanks too", InputKind::kPdf, 1, true, 1, true, 5,
       "| 1x1 2x1 3x1 4x1 "},
      {"booklet of 4 pages: one sheet", InputKind::kPdf, 1, true, 1, true, 4, "| 1x1 2x1 "},
      {"booklet copies", InputKind::kPdf, 2, false, 1, true, 3, "| 1x2 2x2 "},
      {"a PCL job is one-up", InputKind::kPcl, 1, true, 4, true, 3, "1x1 2x1 3x1 | "},
      {"no pages", InputKind::kPdf, 2, true, 1, false, 0, "| "},
      {"no pages in a booklet", InputKind::kPdf, 1, true, 1, true, 0, "| "},
  };
  for (const Case& c : cases) {
    JobRequest r;
    r.kind = c.kind;
    r.copies = c.copies;
    r.collate = c.collate;
    r.number_up = c.number_up;
    r.booklet = c.booklet;
    EXPECT_EQ(Lines(r, c.pages), c.lines) << c.name;
  }
}

}  // namespace
}  // namespace pclspool::filter
