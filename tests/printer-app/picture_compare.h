// The picture of a watermark the web page shows, against what the
// printer prints: the PNG read back, and the two compared cell by cell.
#pragma once

#include <string>

#include "support/render/page_image.h"

namespace pclspool::apptest {

// The grey picture of a PNG as the app writes it (8-bit grey, filter 0).
render::PageImage DecodePng(const std::string& png, std::string* error);

// Empty when the picture and the printed page (same size and resolution)
// ink the same places: cells of 6 x 6 pixels, a cell inked when its mean
// grey is well below paper's, and a cell inked in one misplaced only when
// the other inks no cell around it (the two shade their glyphs
// differently, so a cell at a glyph's edge may be inked in one alone).
// Else what differs.
std::string CompareWithPrinted(const render::PageImage& picture, const render::PageImage& printed);

}  // namespace pclspool::apptest
