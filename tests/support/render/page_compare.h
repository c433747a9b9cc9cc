// Where two renderings of a page differ, and where a page has ink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>

#include "support/render/page_image.h"

namespace pclspool::render {

// A rectangle of pixels: left and top inclusive, right and bottom
// exclusive. Empty when it holds no pixel.
struct Box {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  bool Empty() const { return right <= left || bottom <= top; }
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Box& box);

struct PageDiff {
  bool same_size = true;
  std::size_t pixels = 0;  // pixels whose grey levels differ
  Box box;                 // the smallest box holding them all
};

// Pixel-for-pixel comparison; pages of different sizes differ everywhere.
PageDiff ComparePages(const PageImage& a, const PageImage& b);

// The smallest box holding every pixel at or below `ink` grey.
Box InkBox(const PageImage& page, uint8_t ink = kInkLevel);

// Pixels at or below `ink` grey inside `box` (clipped to the page).
std::size_t InkPixels(const PageImage& page, const Box& box, uint8_t ink = kInkLevel);

}  // namespace pclspool::render
