// The documents the tests print: the numbered-pages document
// (tests/data/numbered_pages.ps) as PDF, PostScript, PCL, PWG raster, URF,
// JPEG and PNG: the render support's real jobs (made once by Ghostscript).
#pragma once

#include <filesystem>
#include <string>

namespace pclspool::apptest {

enum class Kind { kPdf, kPostScript, kPcl, kPwgRaster, kUrf, kJpeg, kPng };

struct DocumentFile {
  std::filesystem::path path;
  std::string format;  // its MIME type
  std::string error;   // empty when made
};

// `pages` pages (1 to 9); an image holds the first page only.
DocumentFile Document(Kind kind, int pages);

}  // namespace pclspool::apptest
