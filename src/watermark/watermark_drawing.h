// The end-of-page watermark step: shaded, rotated text drawn over the page
// with HP-GL/2 labels in soft font 16300.
#pragma once

#include <cstdint>

#include "job/job_context.h"
#include "watermark/character_table.h"
#include "watermark/watermark_state.h"

namespace pclspool {

// Appends the page's watermark through the output routing; on the first
// page of a job (every page of a booklet job) it makes the job's watermark
// state if need be and runs the set-up first. Always TRUE.
BOOL WatermarkEndPage(JobContext& ctx);

// Writes the HP-GL/2 shaded character fill for grey level grey (255 white,
// 0 black).
void SetWatermarkShading(JobContext& ctx, int32_t grey);

// Where a page's labels land: the watermark draws in a picture frame of its
// own, anchored at the top of the logical page, and each page's text moves
// with its page's place on the sheet. All in dots.
struct LabelPlacement {
  int64_t dx;  // added to the layout's x: the page's place on the sheet,
               // less the logical page's offset from the paper's edge
  int64_t dy;  // added to the layout's y
  int64_t frameWidth;
  int64_t frameHeight;
};

// The placement for the page the job is on (cPages), whose text the
// layout lays out.
LabelPlacement PlaceLabels(const JobContext& ctx, const WatermarkLayoutRecord& layout);

// Writes the label of one character with the pen at (x, y) dots from the
// laid-out page's top left, or nothing when the pen lies beyond the right
// or bottom edge of a page of pageWidth by pageHeight dots.
void DrawWatermarkChar(JobContext& ctx, int64_t x, int64_t y, const GlyphEntry& entry,
                       int32_t pageWidth, int32_t pageHeight, const LabelPlacement& at);

}  // namespace pclspool
