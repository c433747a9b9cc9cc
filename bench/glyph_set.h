// Glyph bitmaps as the watermark sends them: the characters of a watermark
// text rendered by the POSIX text services from the test font, at the
// heights watermark texts use, scaled to the printer's resolution and
// turned 45 degrees, with their rows packed back to back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pclspool::bench {

struct GlyphBitmap {
  int width = 0;              // pixels
  int height = 0;             // rows
  std::vector<uint8_t> rows;  // (width + 7) / 8 bytes a row, no padding
};

// The 20-character text the benchmarks render.
inline constexpr char16_t kWatermarkText[] = u"CONFIDENTIAL - DRAFT";

// The test font file the benchmarks render with.
std::string TestFontPath();

// Every distinct character of kWatermarkText at the screen heights -50,
// -80 and -96 (the last one bold), scaled from a 96 dpi screen to dpi and
// rotated 45 degrees. Only glyphs whose rows reach 20 bytes (those sent
// compressed) are kept. Empty when the font cannot be rendered.
std::vector<GlyphBitmap> RenderWatermarkGlyphs(int dpi);

// A glyph-sized bitmap of alternating pixels, the rows starting black and
// white in turn: the most runs a row can have, and no row repeats.
GlyphBitmap AlternatingBitmap(int width, int height);

// The bytes of all rows of all glyphs.
std::size_t TotalBytes(const std::vector<GlyphBitmap>& glyphs);

}  // namespace pclspool::bench
