// Recognises the pages of the numbered-pages document
// (tests/data/numbered_pages.ps) on a printed sheet, by their content:
// each frame on the sheet is a page (or pages printed over each other),
// its corner square tells which way up it is, and the big squares in its
// grid slots tell which pages it shows. Pages may be scaled, moved and
// turned by quarter turns.
#pragma once

#include <vector>

#include "support/render/page_image.h"

namespace pclspool::render {

// The page numbers on the sheet, in increasing order; a page printed twice
// is listed twice. A frame without its corner square shows no page.
std::vector<int> PagesOnSheet(const PageImage& sheet);

}  // namespace pclspool::render
