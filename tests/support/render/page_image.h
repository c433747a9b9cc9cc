// A printed page as the interpreter renders it: 8-bit grey pixels, 0 black
// and 255 white, row by row from the top left. Read from PGM (P5) files, one
// or more images back to back, as gpcl6's pgmraw device writes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pclspool::render {

struct PageImage {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // width * height

  uint8_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// An A4 page at 1200 dpi is 9921 x 14031 pixels; a side beyond this is no
// page of ours and is refused before anything is allocated.
constexpr int kMaxPageSide = 16384;

// Pixels at or below this grey level count as ink.
constexpr uint8_t kInkLevel = 127;

struct PageImages {
  std::vector<PageImage> pages;
  std::string error;  // empty when every image was read
};

// Every image in `bytes` (P5, maxval 255); `where` names the source in the
// error.
PageImages ParsePgmImages(const std::string& bytes, const std::string& where);

}  // namespace pclspool::render
