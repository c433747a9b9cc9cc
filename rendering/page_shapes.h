// Which pages of a PDF are landscape, as Ghostscript sees them before it
// fits each into its cell (its MediaBox, turned by the page's /Rotate): a
// page of the other shape than its cell is turned a quarter to fit, and the
// pages of a sheet of several then read in another order.
#pragma once

#include <string>
#include <vector>

namespace pclspool::rendering {

enum class PageShape { kPortrait, kLandscape, kSquare };

// The shapes of the PDF file's pages, asked of Ghostscript (-dPDFINFO,
// which reads the file's page tree and renders nothing). False with
// *error when Ghostscript cannot tell them.
bool PdfPageShapes(const std::string& ghostscript, const std::string& pdf,
                   std::vector<PageShape>* shapes, std::string* error);

// The shapes from Ghostscript's -dPDFINFO report ("Page 1 MediaBox: [0 0
// 842 595]    Rotate = 90").
std::vector<PageShape> ParsePdfInfo(const std::string& report);

}  // namespace pclspool::rendering
