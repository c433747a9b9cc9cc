// The printed sides a job reports: one for every side, as it is printed,
// with its copies; the sum is what the printer prints.
#include "runner/side_count.h"

#include <gtest/gtest.h>

#include <string>

namespace pclspool::runner {
namespace {

// The reports of a job of `pages` pages: during the job | at its end.
std::string Lines(const SidePlan& plan, uint32_t pages) {
  std::string out;
  SideCounter counter(plan, [&out](uint32_t side, uint32_t copies) {
    out += std::to_string(side) + "x" + std::to_string(copies) + " ";
  });
  for (uint32_t p = 1; p <= pages; ++p) counter.PageEnded(p);
  out += "| ";
  counter.JobEnded(pages);
  return out;
}

TEST(SideCount, OneReportForEachPrintedSide) {
  struct Case {
    const char* name;
    SidePlan plan;  // pages a side, booklet, stored, copies
    uint32_t pages;
    const char* lines;
  } cases[] = {
      {"one-up", {1, false, false, 1}, 3, "1x1 2x1 3x1 | "},
      {"two-up, last side half full", {2, false, false, 1}, 5, "1x1 2x1 | 3x1 "},
      {"two-up, even", {2, false, false, 1}, 4, "1x1 2x1 | "},
      {"four-up", {4, false, false, 1}, 9, "1x1 2x1 | 3x1 "},
      {"uncollated copies count as they print", {2, false, false, 3}, 3, "1x3 | 2x3 "},
      {"collated copies count at the end", {1, false, true, 3}, 2, "| 1x3 2x3 "},
      {"collated two-up", {2, false, true, 2}, 3, "| 1x2 2x2 "},
      {"booklet: two sides a sheet, blanks too", {2, true, true, 1}, 5, "| 1x1 2x1 3x1 4x1 "},
      {"booklet of 4 pages: one sheet", {2, true, true, 1}, 4, "| 1x1 2x1 "},
      {"no pages", {1, false, true, 2}, 0, "| "},
      {"no pages in a booklet", {2, true, true, 1}, 0, "| "},
  };
  for (const Case& c : cases) EXPECT_EQ(Lines(c.plan, c.pages), c.lines) << c.name;
}

}  // namespace
}  // namespace pclspool::runner
