// Page shapes from Ghostscript's PDF report, and the order a turned sheet
// is read in.
#include <gtest/gtest.h>

#include "rendering/page_order.h"
#include "rendering/page_shapes.h"

namespace pclspool::rendering {
namespace {

TEST(PageShapes, MediaBoxTurnedByRotate) {
  const std::vector<PageShape> shapes = ParsePdfInfo(
      "        File has 4 pages\n\nProducer: x\n"
      "Page 1 MediaBox: [0 0 595 842]    Rotate = 0 \n    Fonts used:\n"
      "Page 2 MediaBox: [0 0 842 595]    Rotate = 0 \n"
      "Page 3 MediaBox: [0 0 842 595]    Rotate = 270 \n"
      "Page 4 MediaBox: [10 10 410 410]    Rotate = 90 \n");
  EXPECT_EQ(shapes, (std::vector<PageShape>{PageShape::kPortrait, PageShape::kLandscape,
                                            PageShape::kPortrait, PageShape::kSquare}));
}

TEST(PageOrder, TurnedSheetsReadByTheReader) {
  // The cells of a side in reading order, for a sheet read as it lies and
  // turned a quarter clockwise (two cells one above the other, and four).
  const struct {
    bool stacked;
    int32_t cells;
    std::vector<int32_t> as_it_lies;
    std::vector<int32_t> turned;
  } cases[] = {
      {true, 2, {0, 1}, {1, 0}},
      {false, 2, {0, 1}, {0, 1}},
      {false, 4, {0, 1, 2, 3}, {2, 0, 3, 1}},
  };
  for (const auto& c : cases) {
    std::vector<int32_t> lies, turned;
    for (int32_t p = 0; p < c.cells; ++p) {
      lies.push_back(CellAt(PageOrder{}, c.cells, c.stacked, p));
      turned.push_back(CellAt(TurnedForReader(PageOrder{}), c.cells, c.stacked, p));
    }
    EXPECT_EQ(lies, c.as_it_lies);
    EXPECT_EQ(turned, c.turned);
  }
}

}  // namespace
}  // namespace pclspool::rendering
