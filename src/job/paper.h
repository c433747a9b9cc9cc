// The paper sizes a job can name, with what a PCL printer makes of each:
// its size in dots, its PCL page-size code, and where the PCL logical page
// begins on it.
//
// A PCL printer does not address the whole sheet. Its logical page starts a
// little way in from the left edge of the paper (the left edge as the page
// is printed, in portrait or in landscape), and no cursor move reaches left
// of it. Whoever places marks at positions measured from the paper's corner
// (the watermark, the rendered pages of n-up sheets) subtracts this offset.
#pragma once

#include <cstdint>
#include <string_view>

#include "job/job_context.h"

namespace pclspool {

struct Paper {
  int16_t dmPaper;     // DEVMODEW paper code
  const char* name;    // as Ghostscript and CUPS name it
  int16_t pclSize;     // PCL page size (ESC & l # A)
  int32_t width300;    // portrait width, dots at 300 dpi
  int32_t height300;   // portrait height, dots at 300 dpi
  int16_t offsetPortrait300;   // logical page offset, dots at 300 dpi
  int16_t offsetLandscape300;
};

// The paper of a DEVMODEW paper code (the booklet bit 0x0400 ignored), or
// null for a code not in the table.
const Paper* PaperByCode(int32_t dmPaperSize);

// The paper whose size at `resolution` is width x height dots in either
// orientation, within half a percent; null when none is.
const Paper* PaperBySize(int32_t width, int32_t height, int32_t resolution);

// The paper of a name in the table ("a4", "letter", ...), or null.
const Paper* PaperByName(std::string_view name);

// A4, the paper of the sample jobs and of most of the world.
const Paper& DefaultPaper();

// Dots at `resolution` from dots at 300 dpi, truncated toward zero.
int32_t DotsAt(int32_t dots300, int32_t resolution);

// Where the logical page begins, in dots from the paper's left edge as the
// page is printed.
int32_t LogicalPageOffset(const Paper& paper, bool landscape, int32_t resolution);

// The paper of a page or sheet of width x height dots at the job's
// resolution, else the one of the job's paper code; null when neither
// names one.
const Paper* PaperOf(int32_t width, int32_t height, int32_t resolution, int32_t paper_code);
const Paper* PaperOf(int32_t width, int32_t height, const JobContext& ctx);

struct PageDots {
  int32_t width;
  int32_t height;
};

// The job's page in dots: lXDim by lYDim as the job gave them (its PJL
// page-size lines or the INI file), or, for a side it never gave, its
// paper's size at its resolution and in its orientation (A4 for a paper
// code not in the table). A job that names its paper but not its size in
// dots still gets a watermark laid out on its page.
PageDots JobPageSize(const JobContext& ctx);

}  // namespace pclspool
