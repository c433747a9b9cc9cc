// Where pages go on a sheet, and where a PCL printer's logical page begins.
#include <gtest/gtest.h>

#include "job/paper.h"
#include "job/sheet_layout.h"

namespace pclspool {
namespace {

struct LayoutCase {
  const char* name;
  SheetJob job;
  SheetLayout want;
  CellOrigin origins[4];
};

TEST(SheetLayout, CellsOfEveryLayout) {
  const LayoutCase cases[] = {
      {"one-up A4 portrait", {4960, 7014, false, 0, false, 0}, {4960, 7014, false, 1.0f, 4960, 7014, 1}, {{0, 0}}},
      // 3507 / 4960 = 0.70705646 as a float: cells 3507 x 4959, exactly
      // half of the turned sheet.
      {"two-up A4 portrait",
       {4960, 7014, false, 1, false, 0},
       {7014, 4960, true, 0.70705646f, 3507, 4959, 2},
       {{0, 0}, {3507, 0}}},
      {"two-up A4 landscape",
       {7014, 4960, true, 1, false, 0},
       {4960, 7014, true, 0.70705646f, 4959, 3507, 2},
       {{0, 0}, {0, 3507}}},
      // Letter does not halve into itself: each cell centred in its half.
      {"two-up Letter portrait",
       {5100, 6600, false, 1, false, 0},
       {6600, 5100, true, 3300.0f / 5100.0f, 3300, 4270, 2},
       {{0, 415}, {3300, 415}}},
      {"four-up A4 odd sizes",
       {4961, 7015, false, 2, false, 0},
       {4961, 7015, false, 0.5f, 2480, 3507, 4},
       {{0, 0}, {2480, 0}, {0, 3507}, {2480, 3507}}},
      {"booklet takes precedence over n-up",
       {4960, 7014, false, 2, true, 0},
       {7014, 4960, true, 0.70705646f, 3507, 4959, 2},
       {{0, 0}, {3507, 0}}},
  };
  for (const LayoutCase& c : cases) {
    const SheetLayout s = LayoutSheet(c.job);
    EXPECT_EQ(s.sheetWidth, c.want.sheetWidth) << c.name;
    EXPECT_EQ(s.sheetHeight, c.want.sheetHeight) << c.name;
    EXPECT_EQ(s.turned, c.want.turned) << c.name;
    EXPECT_FLOAT_EQ(s.ratio, c.want.ratio) << c.name;
    EXPECT_EQ(s.cellWidth, c.want.cellWidth) << c.name;
    EXPECT_EQ(s.cellHeight, c.want.cellHeight) << c.name;
    ASSERT_EQ(s.cells, c.want.cells) << c.name;
    for (int32_t k = 0; k < s.cells; ++k) {
      const CellOrigin o = OriginOfCell(s, k);
      EXPECT_EQ(o.x, c.origins[k].x) << c.name << " cell " << k;
      EXPECT_EQ(o.y, c.origins[k].y) << c.name << " cell " << k;
      // Every cell lies on the sheet.
      EXPECT_GE(o.x, 0) << c.name;
      EXPECT_LE(o.x + s.cellWidth, s.sheetWidth) << c.name;
      EXPECT_LE(o.y + s.cellHeight, s.sheetHeight) << c.name;
    }
  }
}

TEST(SheetLayout, CellOfEachPage) {
  const SheetJob two_up{4960, 7014, false, 1, false, 0};
  const SheetJob four_up{4960, 7014, false, 2, false, 0};
  const SheetJob booklet_ltr{4960, 7014, false, 0, true, 0};
  const SheetJob booklet_rtl{4960, 7014, false, 0, true, 1};
  const SheetJob one_up{4960, 7014, false, 0, false, 0};
  for (uint32_t page = 1; page <= 9; ++page) {
    EXPECT_EQ(CellOfPage(one_up, page), 0);
    EXPECT_EQ(CellOfPage(two_up, page), static_cast<int32_t>((page - 1) % 2));
    EXPECT_EQ(CellOfPage(four_up, page), static_cast<int32_t>((page - 1) % 4));
    // Style 0: odd pages on the right (cell 1), even on the left.
    EXPECT_EQ(CellOfPage(booklet_ltr, page), page % 2 == 1 ? 1 : 0) << page;
    EXPECT_EQ(CellOfPage(booklet_rtl, page), page % 2 == 1 ? 0 : 1) << page;
  }
}

TEST(Paper, SizesAndLogicalPageOffsetsAsPrintersUseThem) {
  // Offsets as gpcl6 places ESC * p 0 X on each paper at 600 dpi.
  struct Case {
    int32_t code;
    int32_t width600, height600;
    int32_t portrait600, landscape600;
  };
  const Case cases[] = {
      {1, 5100, 6600, 150, 120}, {5, 5100, 8400, 150, 120}, {7, 4350, 6300, 150, 120},
      {3, 6600, 10200, 150, 120}, {9, 4960, 7014, 142, 118}, {8, 7014, 9920, 142, 118},
  };
  for (const Case& c : cases) {
    const Paper* p = PaperByCode(c.code);
    ASSERT_NE(p, nullptr) << c.code;
    EXPECT_EQ(PaperByCode(c.code | 0x0400), p) << "booklet bit";
    EXPECT_EQ(DotsAt(p->width300, 600), c.width600) << p->name;
    EXPECT_EQ(DotsAt(p->height300, 600), c.height600) << p->name;
    EXPECT_EQ(LogicalPageOffset(*p, false, 600), c.portrait600) << p->name;
    EXPECT_EQ(LogicalPageOffset(*p, true, 600), c.landscape600) << p->name;
    const Paper* by_size = PaperBySize(c.width600, c.height600, 600);
    ASSERT_NE(by_size, nullptr) << p->name;
    EXPECT_EQ(by_size->pclSize, p->pclSize) << p->name;
    EXPECT_EQ(PaperBySize(c.height600, c.width600, 600)->pclSize, p->pclSize) << "landscape";
  }
  EXPECT_EQ(PaperBySize(4960, 7014 + 30, 600)->dmPaper, 9) << "within half a percent";
  EXPECT_EQ(PaperBySize(4960, 7014 + 40, 600), nullptr);
  EXPECT_EQ(PaperBySize(0, 7014, 600), nullptr);
  EXPECT_EQ(PaperByCode(999), nullptr);
}

}  // namespace
}  // namespace pclspool
