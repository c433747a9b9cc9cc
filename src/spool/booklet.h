// Booklet (saddle-stitch) imposition: the stored pages sent two to a side,
// front and back of every sheet, in the order that folds into a booklet.
#pragma once

#include <cstdint>

#include "job/job_context.h"

namespace pclspool {

// The pages of one sheet; 0 is a blank slot.
struct PageOrder {
  int32_t P[2];  // front pair
  int32_t N[2];  // back pair
};

// Sheets for n pages: (n + 3) / 4.
inline uint32_t SheetCount(uint32_t pages) { return pages / 4 + (pages % 4 != 0); }

// The entry of sheet i of a booklet of n pages; style is wStyple.
PageOrder PageOrderEntry(uint32_t pages, uint32_t sheet, uint16_t style);

// Fills the SheetCount(pages) entries of table.
void FillPageOrder(PageOrder* table, uint32_t pages, uint16_t style);

// One complete booklet replay to the printer, closed by the UEL. cPages and
// dmPaperSize are used as working values and put back before it returns.
void ReorderBooklet(JobContext& ctx);

}  // namespace pclspool
