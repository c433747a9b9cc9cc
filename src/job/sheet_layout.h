// Where the logical pages of a job go on the printed sheet.
//
// One-up: the page is the sheet. Two-up: two pages, each scaled by the
// ratio below, side by side on a sheet turned a quarter from the page
// (portrait pages on a landscape sheet, landscape pages one above the other
// on a portrait sheet), in reading order. Four-up: four pages at half size
// on a sheet of the page's own orientation, in reading order. Booklet: like
// two-up, each page in the half of the side where the imposition puts it.
//
// All positions are dots at the job's resolution, from the paper's top-left
// corner as the sheet is printed. The rendering side places pages here, and
// the watermark of each page follows its page.
#pragma once

#include <cstdint>

#include "job/job_context.h"

namespace pclspool {

// The smaller of (b / 2) / a and a / b: the ratio by which a page of a by b
// dots (a the short side) shrinks onto half a sheet. 1 when a side is not
// positive (a page size never given).
double ScaleRatio(int32_t a, int32_t b);

struct SheetLayout {
  int32_t sheetWidth;   // dots, as the sheet is printed
  int32_t sheetHeight;
  bool turned;          // printed a quarter turn from the logical page
  float ratio;          // logical page to cell
  int32_t cellWidth;    // a logical page on the sheet
  int32_t cellHeight;
  int32_t cells;        // 1, 2 or 4
};

struct SheetJob {
  int32_t pageWidth;    // the logical page, dots (lXDim)
  int32_t pageHeight;   // (lYDim)
  bool landscape;       // dmOrientation 2
  uint16_t nup;         // 0 one-up, 1 two-up, 2 four-up
  bool booklet;
  uint16_t bookletStyle;  // 0: odd pages on the right, else on the left
};

SheetLayout LayoutSheet(const SheetJob& job);

// The job's pages as its settings give them: its page size (JobPageSize),
// orientation, n-up and booklet.
SheetJob SheetJobOf(const JobContext& ctx);

// What a job's sheets are, read from its settings once: its pages, its
// resolution, its paper and its duplex mode. The rendering side lays the
// pages of a rendered document on them as the module lays its watermarks.
struct JobSheet {
  SheetJob job;
  int32_t resolution;  // dots per inch
  int32_t paperCode;   // DEVMODEW paper code, as the job gave it
  bool sizeGiven;      // the page size in dots came with the job (else its paper's)
  int32_t duplex;      // -1 without a duplex unit; else 0 one-sided, 1 long edge, 2 short edge
};

JobSheet JobSheetOf(const JobContext& ctx);

// The cell (0-based, reading order) that page `page` (1-based, as the
// spooler counts them) occupies.
int32_t CellOfPage(const SheetJob& job, uint32_t page);

struct CellOrigin {
  int32_t x;
  int32_t y;
};

// The top-left corner of a cell on the sheet; each cell is centred in its
// share of the sheet.
CellOrigin OriginOfCell(const SheetLayout& layout, int32_t cell);

}  // namespace pclspool
