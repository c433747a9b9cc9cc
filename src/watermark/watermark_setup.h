// The watermark set-up: the selected text's font scaled to the job's
// resolution, zoom and page layout, its rotation, the page it is centred
// on, its start position, and the character table with every distinct
// glyph rendered and downloaded as soft font 16300.
#pragma once

#include "job/job_context.h"
#include "watermark/watermark_state.h"

namespace pclspool {

// Runs the set-up for the selected text into the job's state: reads its
// definition, fills the layout, the working font, the character table and
// the job's start position, downloads the font, and sets bFontDownloaded.
void WatermarkSetup(JobContext& ctx, WatermarkState& state, const char16_t* text);

}  // namespace pclspool
