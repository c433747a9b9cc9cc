// The glyph loop of the watermark set-up: every distinct character of the
// text rendered once, rotated, and downloaded into soft font 16300.
#pragma once

#include "job/job_context.h"
#include "platform/platform.h"
#include "watermark/character_table.h"

namespace pclspool {

// Walks the character table (its codes assigned): renders and downloads
// every character at its first occurrence with the font selected into
// screen; repeats copy their first occurrence's entry. A character the
// rasteriser cannot render, or whose bitmap finds no room, ends the text
// there, with a trace line that says which and why.
void RenderCharacters(JobContext& ctx, GlyphEntry* table, platform::Text& gdi, HDC screen,
                      const MAT2& rotation);

}  // namespace pclspool
