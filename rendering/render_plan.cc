#include "rendering/render_plan.h"

#include <algorithm>

namespace pclspool::rendering {

namespace {

// Resolutions that are both a PCL unit of measure (ESC & u # D) and, at
// most kMaxRasterResolution, a raster resolution.
constexpr int32_t kResolutions[] = {100, 150, 200, 300, 600, 1200};

bool Fail(std::string* error, std::string text) {
  *error = std::move(text);
  return false;
}

std::string Esc(const std::string& rest) { return "\x1B" + rest; }

}  // namespace

bool PlanRendering(const JobSheet& s, RenderPlan* plan, std::string* error) {
  RenderPlan p;
  p.resolution = s.resolution;
  if (std::find(std::begin(kResolutions), std::end(kResolutions), p.resolution) ==
      std::end(kResolutions)) {
    return Fail(error, "YRESOLUTION " + std::to_string(p.resolution) +
                           ": PDF and PostScript print at 100, 150, 200, 300, 600 or 1200 dpi");
  }
  p.rasterResolution = std::min(p.resolution, kMaxRasterResolution);
  p.rasterScale = p.resolution / p.rasterResolution;

  // A side the job does not give in dots is its paper's.
  if (!s.sizeGiven && !PaperByCode(s.paperCode)) {
    return Fail(error, "PAPER CODE " + std::to_string(s.paperCode) +
                           ": no paper size known for it, and XDIMENSION and YDIMENSION"
                           " do not give the page size");
  }
  p.job = s.job;
  const int32_t width = p.job.pageWidth;
  const int32_t height = p.job.pageHeight;
  if (width > kMaxPageDots || height > kMaxPageDots) {
    return Fail(error, "page size " + std::to_string(width) + " x " + std::to_string(height) +
                           " dots: larger than " + std::to_string(kMaxPageDots) + " dots a side");
  }
  p.paper = PaperOf(width, height, s.resolution, s.paperCode);
  if (!p.paper) {
    return Fail(error, "page size " + std::to_string(width) + " x " + std::to_string(height) +
                           " dots at " + std::to_string(p.resolution) +
                           " dpi: no paper of that size, and PAPER CODE " +
                           std::to_string(s.paperCode) + " names none");
  }
  if (s.job.nup > kNupFourUp) {
    return Fail(error, "TWOupFOUR " + std::to_string(s.job.nup) +
                           ": pages are placed one-up (0), two-up (1) or four-up (2)");
  }
  p.layout = LayoutSheet(p.job);
  p.sheetLandscape = p.layout.sheetWidth > p.layout.sheetHeight;
  p.logicalOffset = LogicalPageOffset(*p.paper, p.sheetLandscape, p.resolution);
  p.logicalWidth = p.layout.sheetWidth - 2 * p.logicalOffset;
  p.cellColumns = p.layout.cellWidth / p.rasterScale;
  p.cellRows = p.layout.cellHeight / p.rasterScale;
  p.duplex = s.duplex;
  if (p.cellColumns < 1 || p.cellRows < 1 || p.logicalWidth < 1) {
    return Fail(error, "page size " + std::to_string(width) + " x " + std::to_string(height) +
                           " dots: too small to print on");
  }
  *plan = p;
  return true;
}

pcl::RasterPlacement PlacePage(const RenderPlan& plan, uint32_t page) {
  const CellOrigin origin = OriginOfCell(plan.layout, CellOfPage(plan.job, page));
  const int32_t scale = plan.rasterScale;
  pcl::RasterPlacement r{origin.x - plan.logicalOffset, origin.y, 0, plan.cellColumns, plan.cellRows};
  if (r.x < 0) {
    // No cursor move reaches left of x = 0: the columns there are cut off,
    // whole raster pixels of them, so the rest stays where it belongs.
    r.skipColumns = (-r.x + scale - 1) / scale;
    r.x += r.skipColumns * scale;
  }
  r.columns = std::max(0, std::min(plan.cellColumns - r.skipColumns,
                                   (plan.logicalWidth - r.x) / scale));
  return r;
}

std::string CellBorder(const RenderPlan& plan, uint32_t page) {
  if (!plan.pageBorders || plan.layout.cells < 2) return "";
  const CellOrigin origin = OriginOfCell(plan.layout, CellOfPage(plan.job, page));
  const int32_t left = origin.x - plan.logicalOffset;
  const int32_t top = origin.y;
  const int32_t width = plan.layout.cellWidth;
  const int32_t height = plan.layout.cellHeight;
  // A point wide, at least a dot.
  const int32_t rule = std::max<int32_t>(1, plan.resolution / 72);
  std::string out;
  const auto bar = [&](int32_t x, int32_t y, int32_t w, int32_t h) {
    // What lies left of x = 0 or right of the logical page is cut off.
    const int32_t x0 = std::max<int32_t>(0, x);
    const int32_t x1 = std::min(plan.logicalWidth, x + w);
    if (x1 <= x0 || h <= 0) return;
    out += Esc("*p" + std::to_string(x0) + "x" + std::to_string(y) + "Y") +
           Esc("*c" + std::to_string(x1 - x0) + "a" + std::to_string(h) + "b0P");
  };
  bar(left, top, width, rule);
  bar(left, top + height - rule, width, rule);
  bar(left, top, rule, height);
  bar(left + width - rule, top, rule, height);
  return out;
}

int32_t PclOrientation(const RenderPlan& plan) {
  return (plan.sheetLandscape ? 1 : 0) + (plan.upsideDown ? 2 : 0);
}

std::vector<std::string> JobHeader(const RenderPlan& plan) {
  const std::string uel = Esc("%-12345X");
  return {
      uel,
      "@PJL COMMENT XDIM=" + std::to_string(plan.job.pageWidth) + "\r\n",
      "@PJL COMMENT YDIM=" + std::to_string(plan.job.pageHeight) + "\r\n",
      "@PJL SET RESOLUTION=" + std::to_string(plan.resolution) + "\r\n",
      "@PJL ENTER LANGUAGE=PCL\n",
      // The top margin after the orientation, which resets it; raster
      // presentation follows the orientation.
      Esc("E") + Esc("&l" + std::to_string(plan.paper->pclSize) + "A") +
          Esc("&l" + std::to_string(PclOrientation(plan)) + "O") +
          (plan.duplex >= 0 ? Esc("&l" + std::to_string(plan.duplex) + "S") : "") +
          Esc("&u" + std::to_string(plan.resolution) + "D") + Esc("&l0E") + Esc("*r0F"),
  };
}

}  // namespace pclspool::rendering
