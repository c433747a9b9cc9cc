// The watermark set-up's arithmetic: the font height for the job's
// resolution, zoom and page layout, the rotation, the centred start of the
// text and the definition's offsets. Pure functions over plain values.
#pragma once

#include <cstddef>
#include <cstdint>

#include "job/job_context.h"
#include "platform/win_types.h"
#include "watermark/watermark_definition.h"

namespace pclspool {

struct ZoomEntry {
  uint16_t fromPaper;  // DEVMODEW paper codes the percentage belongs to
  uint16_t toPaper;
  uint16_t percent;
};

// Indexed by the job's wZoomIndex; entry 0 (no zoom) is never looked up.
inline constexpr std::size_t kZoomEntries = 15;
inline constexpr ZoomEntry ZoomTable[kZoomEntries] = {
    {0, 0, 0},    {1, 3, 129},  {9, 8, 141},   {9, 12, 122}, {9, 13, 86},
    {12, 8, 115}, {12, 9, 81},  {12, 13, 70},  {8, 12, 86},  {8, 9, 70},
    {8, 13, 61},  {13, 8, 163}, {13, 12, 141}, {13, 9, 115}, {3, 1, 64},
};

// The ratio by which a page of a by b dots shrinks onto half a sheet: the
// smaller of (b / 2) / a and a / b, with a the short side.
double CalcScaleRatio(int32_t a, int32_t b);

// The rotation by angle degrees that the glyphs are rendered with.
MAT2 MakeRotationMatrix(int32_t angle);

// v in 16.16 fixed point, truncated toward zero.
FIXED ToFixed(double v);

// The pieces of the set-up's arithmetic, each a pure function.

// The font height in dots at the job's resolution from a height in screen
// pixels; 0 when the screen reports no resolution.
int32_t FontHeightInDots(int32_t lfHeight, int32_t resolution, int32_t logPixels);

struct PageScale {
  int32_t height;     // font height, dots
  int32_t pageWidth;  // page the text is centred on, dots
  int32_t pageHeight;
  float ratio;  // the scale applied to the page layout
};

// Applies the job's zoom, booklet and n-up scaling to the font height and
// the page size.
PageScale ScaleToPage(const JobContext& ctx, int32_t height);

// The start of the text's baseline that centres a text of the given extent,
// rotated by angle degrees, on the page.
POINT CenteredStart(int32_t pageWidth, int32_t pageHeight, int32_t angle, SIZE extent);

// The definition's offsets from the centred start, in dots.
POINT OffsetInDots(const WatermarkDefinition& def, int32_t resolution, float ratio);

}  // namespace pclspool
