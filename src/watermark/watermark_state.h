// One job's watermark: what its last set-up made, read by the drawing of
// every later page of the job. Each job has its own, so jobs printing at
// the same time never see each other's.
#pragma once

#include <cstdint>

#include "job/job_context.h"
#include "platform/win_types.h"
#include "watermark/character_table.h"

namespace pclspool {

struct WatermarkLayoutRecord {
  int32_t pageWidth;   // dots: lXDim, scaled for two-up and four-up
  int32_t pageHeight;  // dots: lYDim, scaled likewise
  int32_t dark;        // shading darkness of the definition
  int32_t angle;       // rotation in whole degrees
};

struct WatermarkState {
  LOGFONTW font;      // the definition's font (WatermarkFont)
  LOGFONTW workFont;  // the font the glyphs are rendered from; its face
                      // names the soft font (WatermarkWorkFont)
  WatermarkLayoutRecord layout;
  GlyphEntry table[kCharacterTableEntries];  // the character table
};

// The job's state, made zero-filled from the platform heap at its first
// set-up. Null when the heap has no room; the job then prints without a
// watermark.
WatermarkState* MakeWatermarkState(JobContext& ctx);

// The job's state, or null before its first set-up.
inline WatermarkState* WatermarkStateOf(const JobContext& ctx) {
  return static_cast<WatermarkState*>(ctx.pWatermark);
}

// Called when the job ends (DrvSplClose).
void FreeWatermarkState(JobContext& ctx);

}  // namespace pclspool
