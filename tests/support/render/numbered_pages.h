// Recognises the pages of the numbered-pages document
// (tests/data/numbered_pages.ps) on a printed sheet, by their content:
// each frame on the sheet is a page (or pages printed over each other),
// its corner square tells which way up it is, and the big squares in its
// grid slots tell which pages it shows. Pages may be scaled, moved and
// turned by quarter turns.
#pragma once

#include <string>
#include <vector>

#include "support/render/page_image.h"

namespace pclspool::render {

// The page numbers on the sheet, in increasing order; a page printed twice
// is listed twice. A frame without its corner square shows no page.
std::vector<int> PagesOnSheet(const PageImage& sheet);

// Where each page stands on a sheet, in reading order of the sheet as it
// lies (by rows of frame centres, top to bottom, then left to right): its
// number(s), and the quarter turns (0 to 3, counter-clockwise) that bring
// its top to where it is: "2@1" is page 2 with its top at the sheet's left.
std::string LayoutOfSheet(const PageImage& sheet);

}  // namespace pclspool::render
