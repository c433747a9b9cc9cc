// Connected components of ink on a page ("blobs"): each printed shape, glyph
// or square with its box and its ink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "support/render/page_compare.h"
#include "support/render/page_image.h"

namespace pclspool::render {

struct Blob {
  Box box;
  std::size_t pixels = 0;  // ink pixels in the blob

  // The share of the box that is ink: 1 for a solid rectangle, little for
  // an outline.
  double Fill() const {
    return box.Empty() ? 0.0 : static_cast<double>(pixels) / (static_cast<double>(box.Width()) * box.Height());
  }
};

// The blobs of pixels at or below `ink` grey, joined across edges and
// corners (8-connected), in the order of their first pixel (top to bottom,
// left to right). Blobs of fewer than `min_pixels` are left out (specks of
// a dithered grey).
std::vector<Blob> FindBlobs(const PageImage& page, uint8_t ink = kInkLevel,
                            std::size_t min_pixels = 1);

}  // namespace pclspool::render
