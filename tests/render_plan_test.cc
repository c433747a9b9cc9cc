// Where rendered pages go on the printed sheet, from the job's settings.
#include <gtest/gtest.h>

#include <string>

#include "render_plan.h"

namespace pclspool::cli {
namespace {

struct Settings {
  int16_t resolution = 600;
  int16_t orientation = 1;
  int16_t paper = 9;
  int32_t xdim = 0, ydim = 0;
  uint16_t nup = 0;
  uint16_t style = 0;
};

JobContext Context(const Settings& s) {
  JobContext c{};
  c.dm.dmYResolution = s.resolution;
  c.dm.dmOrientation = s.orientation;
  c.dm.dmPaperSize = s.paper;
  c.lXDim = s.xdim;
  c.lYDim = s.ydim;
  extra::SetU16(c.extra, extra::kNup, s.nup);
  extra::SetU16(c.extra, extra::kStyple, s.style);
  return c;
}

TEST(RenderPlan, PagesLandInTheirCells) {
  const struct {
    const char* name;
    Settings settings;
    bool sheet_landscape;
    int32_t cell_columns, cell_rows;
    RasterPlacement first, second;  // pages 1 and 2
  } cases[] = {
      // x = 0 is 142 dots in on A4 portrait at 600 dpi, 118 in landscape.
      {"A4 one-up", {}, false, 4960, 7014, {0, 0, 142, 4676, 7014}, {0, 0, 142, 4676, 7014}},
      {"A4 two-up: a landscape sheet", {.nup = 1}, true, 3507, 4959,
       {0, 0, 118, 3389, 4959}, {3389, 0, 0, 3389, 4959}},
      {"A4 four-up", {.nup = 2}, false, 2480, 3507,
       {0, 0, 142, 2338, 3507}, {2338, 0, 0, 2338, 3507}},
      {"A4 booklet, odd pages on the right", {.paper = 9 | 0x400}, true, 3507, 4959,
       {3389, 0, 0, 3389, 4959}, {0, 0, 118, 3389, 4959}},
      {"A4 booklet, odd pages on the left", {.paper = 9 | 0x400, .style = 1}, true, 3507, 4959,
       {0, 0, 118, 3389, 4959}, {3389, 0, 0, 3389, 4959}},
      {"A4 landscape two-up: a portrait sheet", {.orientation = 2, .nup = 1}, false, 4959, 3507,
       {0, 0, 142, 4676, 3507}, {0, 3507, 142, 4676, 3507}},
      // Letter does not halve into itself: cells centred in their halves.
      {"Letter two-up", {.paper = 1, .nup = 1}, true, 3300, 4270,
       {0, 415, 120, 3180, 4270}, {3180, 415, 0, 3180, 4270}},
      // 1200 dpi pages are rendered at 600 and placed in 1200ths: whole
      // raster pixels are cut, two dots each.
      {"A4 two-up at 1200 dpi", {.resolution = 1200, .nup = 1}, true, 3507, 4959,
       {0, 1, 118, 3389, 4959}, {6778, 1, 0, 3389, 4959}},
      {"page size given in dots", {.paper = 99, .xdim = 5100, .ydim = 6600}, false, 5100, 6600,
       {0, 0, 150, 4800, 6600}, {0, 0, 150, 4800, 6600}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    RenderPlan plan;
    std::string error;
    ASSERT_TRUE(PlanRendering(Context(c.settings), &plan, &error)) << error;
    EXPECT_EQ(plan.sheetLandscape, c.sheet_landscape);
    EXPECT_EQ(plan.cellColumns, c.cell_columns);
    EXPECT_EQ(plan.cellRows, c.cell_rows);
    for (uint32_t page = 1; page <= 2; ++page) {
      const RasterPlacement got = PlacePage(plan, page);
      const RasterPlacement& want = page == 1 ? c.first : c.second;
      EXPECT_EQ(got.x, want.x) << "page " << page;
      EXPECT_EQ(got.y, want.y) << "page " << page;
      EXPECT_EQ(got.skipColumns, want.skipColumns) << "page " << page;
      EXPECT_EQ(got.columns, want.columns) << "page " << page;
      EXPECT_EQ(got.rows, want.rows) << "page " << page;
      // Inside the logical page, and where the cell's column lies.
      const CellOrigin o = OriginOfCell(plan.layout, CellOfPage(plan.job, page));
      EXPECT_GE(got.x, 0);
      EXPECT_LE(got.x + got.columns * plan.rasterScale, plan.logicalWidth);
      EXPECT_EQ(got.x + plan.logicalOffset, o.x + got.skipColumns * plan.rasterScale);
    }
  }
}

TEST(RenderPlan, RefusesJobsItCannotPlace) {
  const struct {
    const char* name;
    Settings settings;
    const char* error;
  } cases[] = {
      {"no raster at 75 dpi", {.resolution = 75}, "YRESOLUTION 75"},
      {"a negative resolution", {.resolution = -600}, "YRESOLUTION -600"},
      {"unknown n-up", {.nup = 3}, "TWOupFOUR 3"},
      {"unknown paper, no size", {.paper = 99}, "PAPER CODE 99"},
      {"a size no paper has, unknown paper", {.paper = 99, .xdim = 1000, .ydim = 1000},
       "1000 x 1000 dots"},
      {"too large", {.xdim = 40000, .ydim = 7014}, "larger than 32767"},
  };
  for (const auto& c : cases) {
    RenderPlan plan;
    std::string error;
    EXPECT_FALSE(PlanRendering(Context(c.settings), &plan, &error)) << c.name;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
  }
}

TEST(RenderPlan, TheHeaderSetsUpTheSheet) {
  RenderPlan plan;
  std::string error;
  ASSERT_TRUE(PlanRendering(Context({.nup = 1}), &plan, &error)) << error;
  const std::vector<std::string> header = JobHeader(plan);
  ASSERT_EQ(header.size(), 6u);
  EXPECT_EQ(header[0], "\x1B%-12345X");
  // The page size the hooks read is the logical page's, not the sheet's.
  EXPECT_EQ(header[1], "@PJL COMMENT XDIM=4960\r\n");
  EXPECT_EQ(header[2], "@PJL COMMENT YDIM=7014\r\n");
  EXPECT_EQ(header[4], "@PJL ENTER LANGUAGE=PCL\n");
  EXPECT_EQ(header[5], "\x1B" "E\x1B&l26A\x1B&l1O\x1B&u600D\x1B&l0E\x1B*r0F");

  // The duplex mode only for a printer with a duplex unit.
  const struct {
    uint32_t unit;
    uint16_t duplex;
    const char* command;  // null: none
  } duplex_cases[] = {
      {0, 2, nullptr}, {1, 0, "\x1B&l0S"}, {1, 1, "\x1B&l1S"}, {1, 2, "\x1B&l2S"}, {1, 7, "\x1B&l0S"},
  };
  for (const auto& d : duplex_cases) {
    JobContext c = Context({});
    extra::SetU32(c.extra, extra::kDuplexUnit, d.unit);
    extra::SetU16(c.extra, extra::kDuplex, d.duplex);
    ASSERT_TRUE(PlanRendering(c, &plan, &error)) << error;
    const std::string pcl = JobHeader(plan)[5];
    const std::size_t at = pcl.find("S\x1B&u");
    EXPECT_EQ(at == std::string::npos, d.command == nullptr) << d.unit << " " << d.duplex;
    if (d.command) {
      EXPECT_NE(pcl.find(d.command), std::string::npos) << d.unit << " " << d.duplex;
    }
  }
}

}  // namespace
}  // namespace pclspool::cli
