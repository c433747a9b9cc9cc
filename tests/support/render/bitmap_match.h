// Whether a 1-bit bitmap (a downloaded glyph, decoded) is printed at a
// place on a page.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "support/render/page_image.h"

namespace pclspool::render {

// Rows of bits, the most significant bit of each byte leftmost, each row
// padded to whole bytes: the layout of PCL raster rows and bitmap
// characters.
struct Bitmap {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> bits;  // height * RowBytes()

  int RowBytes() const { return (width + 7) / 8; }
  bool At(int x, int y) const {
    return (bits[static_cast<std::size_t>(y) * RowBytes() + x / 8] >> (7 - x % 8)) & 1;
  }
};

// The bitmap laid on the page with its top-left pixel at (x, y), counted
// pixel by pixel. Page pixels outside the page count as paper.
struct BitmapMatch {
  std::size_t set = 0;        // bits set in the bitmap
  std::size_t unprinted = 0;  // set bits over paper
  std::size_t stray_ink = 0;  // clear bits over ink
};

BitmapMatch MatchBitmap(const PageImage& page, const Bitmap& bitmap, int x, int y,
                        uint8_t ink = kInkLevel);

// The bitmap is printed at (x, y): at most `tolerance` of its set bits are
// over paper and at most that share of its clear bits over ink. A glyph
// printed through a shading pattern leaves set bits over paper: let
// `tolerance` admit them, or look at stray_ink alone.
bool PrintedAt(const PageImage& page, const Bitmap& bitmap, int x, int y, double tolerance = 0.02,
               uint8_t ink = kInkLevel);

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

// The place within `radius` pixels of (x, y), both ways, where the bitmap
// is printed with the fewest mismatched pixels; nothing when it is printed
// at none of them.
std::optional<Point> FindPrinted(const PageImage& page, const Bitmap& bitmap, int x, int y,
                                 int radius, double tolerance = 0.02, uint8_t ink = kInkLevel);

}  // namespace pclspool::render
