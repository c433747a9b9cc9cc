// The plan of a rendered job from its settings: what it refuses, and the
// duplex mode of the header that sets the printer up. The rest of the
// header, and where pages land, is checked on the printed sheet
// (render/rendered_pdf_test.cc, render/watermark_render_test.cc).
#include <gtest/gtest.h>

#include <string>

#include "rendering/render_plan.h"

namespace pclspool::rendering {
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
    EXPECT_FALSE(PlanRendering(JobSheetOf(Context(c.settings)), &plan, &error)) << c.name;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.name << ": " << error;
  }
}

// The duplex mode, only for a printer with a duplex unit: of the header's
// commands, the one a printed side does not show.
TEST(RenderPlan, TheDuplexModeOnlyWithADuplexUnit) {
  RenderPlan plan;
  std::string error;
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
    ASSERT_TRUE(PlanRendering(JobSheetOf(c), &plan, &error)) << error;
    const std::string pcl = JobHeader(plan)[5];
    const std::size_t at = pcl.find("S\x1B&u");
    EXPECT_EQ(at == std::string::npos, d.command == nullptr) << d.unit << " " << d.duplex;
    if (d.command) {
      EXPECT_NE(pcl.find(d.command), std::string::npos) << d.unit << " " << d.duplex;
    }
  }
}

}  // namespace
}  // namespace pclspool::rendering
