// The watermark's PCL bitmap soft font, ID 16300: the font descriptor and
// one character at a time, raw (class 1) or compressed (class 2).
#pragma once

#include <cstdint>

#include "job/job_context.h"

namespace pclspool {


// Makes 16300 the current font ID and sends the 68-byte font descriptor
// when bFontDownloaded is clear (tm and font must then be given). The font
// is not selected in PCL: the watermark's labels select it in HP-GL/2.
// Returns the result of the last write.
BOOL DownloadFontHeader(JobContext& ctx, const TEXTMETRICW* tm, const LOGFONTW* font);

// Sends one character: its code, its character descriptor and its data.
// bitmap is the glyph in GGO_BITMAP form (rows padded to 32 bits) in a
// writable buffer; it is compacted in place and not usable afterwards.
void DownloadChar(JobContext& ctx, int32_t code, const GLYPHMETRICS& gm, uint8_t* bitmap);

}  // namespace pclspool
