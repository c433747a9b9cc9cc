// How the pages of a rendered document are laid on the printed sheets: the
// job's resolution and paper, the sheet's orientation, each page's cell in
// dots and in raster pixels, and the job header that sets the printer up.
//
// The cells are those of src/job/sheet_layout.h, the same that the
// watermark of each page follows. Positions are dots from the paper's
// top-left corner as the sheet is printed; a PCL printer's x = 0 lies the
// paper's logical page offset to the right of its left edge, so columns
// left of it are cut off, and so are those right of the logical page.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "job/paper.h"
#include "job/sheet_layout.h"
#include "pcl/pcl_raster.h"

namespace pclspool::rendering {

// The largest page side, in dots: PCL positions and raster sizes are 15-bit.
inline constexpr int32_t kMaxPageDots = 32767;
// The finest raster the printer takes (ESC * t # R); finer jobs get their
// pages rendered at this and placed in the job's dots.
inline constexpr int32_t kMaxRasterResolution = 600;

struct RenderPlan {
  int32_t resolution = 0;        // the job's dots per inch (PCL units)
  int32_t rasterResolution = 0;  // of the pages' raster
  int32_t rasterScale = 1;       // dots per raster pixel
  SheetJob job{};
  SheetLayout layout{};
  const Paper* paper = nullptr;
  bool sheetLandscape = false;   // the sheet's PCL orientation
  // The sheet turned upside down on top (reverse portrait or reverse
  // landscape): every page, and its watermark, turned half a turn.
  bool upsideDown = false;
  bool pageBorders = false;      // a thin frame around each cell of a sheet of several
  int32_t logicalOffset = 0;     // dots from the paper's left edge to x = 0
  int32_t logicalWidth = 0;      // dots from x = 0 to the logical page's right edge
  int32_t cellColumns = 0;       // a cell in raster pixels: each page is
  int32_t cellRows = 0;          // rendered to exactly this size
  // With a duplex unit, its mode (ESC & l # S): 0 one-sided, 1 long-edge
  // binding, 2 short-edge; -1 without one (the printer's default stands).
  int32_t duplex = -1;
};

// The plan for a job of these sheets (the module's, as its settings give
// them). False with *error naming the setting when the job cannot be
// placed.
bool PlanRendering(const JobSheet& sheet, RenderPlan* plan, std::string* error);

// Where page `page` (1-based, as the spooler counts them) goes.
pcl::RasterPlacement PlacePage(const RenderPlan& plan, uint32_t page);

// The frame around page `page`'s cell as PCL rectangles (a point wide,
// inside the cell, cut to the logical page); empty unless the plan asks
// for borders and its sheets have several cells.
std::string CellBorder(const RenderPlan& plan, uint32_t page);

// The PCL orientation of the sheet (ESC & l # O): 0 portrait, 1 landscape,
// 2 reverse portrait, 3 reverse landscape.
int32_t PclOrientation(const RenderPlan& plan);

// The job header, one piece per hook buffer: the UEL, the PJL lines (page
// size in dots, resolution, entering PCL), then the PCL set-up of the
// sheet (reset, paper, orientation, duplex mode when the printer has a
// duplex unit, units of one dot, top margin 0).
std::vector<std::string> JobHeader(const RenderPlan& plan);

}  // namespace pclspool::rendering
