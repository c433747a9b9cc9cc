// What a PCL printer prints of characters drawn as HP-GL/2 labels in a
// downloaded bitmap font, which is how the module draws its watermark: the
// soft-font downloads (font header, character codes and class 1 or 2
// bitmaps) and, in each HP-GL/2 block, the pen moves (PA), the font (FI),
// the shading (FT 10) and the labels (LB), placed on the paper as the
// printer places them. A picture of the watermark is then what the
// printer prints, not a second drawing of it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pclspool::pcl {

// Rows of bits, most significant first, 1 = ink, each row padded to bytes.
struct GlyphBitmap {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rows;
};

// A glyph on the paper: its top-left pixel in dots from the paper's
// top-left corner.
struct PlacedGlyph {
  int x = 0;
  int y = 0;
  const GlyphBitmap* bitmap = nullptr;  // into LabelPages::glyphs
};

// One HP-GL/2 block's labels.
struct LabelBlock {
  std::vector<PlacedGlyph> glyphs;
  int shading = 100;  // FT 10 percent in force at its labels: 100 is solid
};

struct LabelPages {
  std::vector<GlyphBitmap> glyphs;  // every character downloaded
  std::vector<LabelBlock> blocks;   // in stream order
  std::string error;                // empty when the stream read cleanly
};

// Where the printer puts the picture frame the labels are drawn in: the
// logical page's left edge, in dots from the paper's left edge, at the
// stream's resolution. The frame hangs from the top of the paper (top
// margin 0) and is as large as the stream's ESC * c # X / # Y set it.
struct LabelFrame {
  int resolution = 600;
  int logical_left = 0;
};

LabelPages ReadLabelGlyphs(std::string_view stream, const LabelFrame& frame);

}  // namespace pclspool::pcl
