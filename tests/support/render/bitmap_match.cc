#include "support/render/bitmap_match.h"

namespace pclspool::render {

BitmapMatch MatchBitmap(const PageImage& page, const Bitmap& bitmap, int x, int y, uint8_t ink) {
  BitmapMatch m;
  for (int by = 0; by < bitmap.height; ++by) {
    const int py = y + by;
    for (int bx = 0; bx < bitmap.width; ++bx) {
      const int px = x + bx;
      const bool printed =
          px >= 0 && py >= 0 && px < page.width && py < page.height && page.At(px, py) <= ink;
      if (bitmap.At(bx, by)) {
        ++m.set;
        m.unprinted += !printed;
      } else {
        m.stray_ink += printed;
      }
    }
  }
  return m;
}

namespace {

bool Within(const BitmapMatch& m, const Bitmap& bitmap, double tolerance) {
  const double clear = static_cast<double>(bitmap.width) * bitmap.height - m.set;
  return m.set > 0 && m.unprinted <= tolerance * m.set && m.stray_ink <= tolerance * clear;
}

}  // namespace

bool PrintedAt(const PageImage& page, const Bitmap& bitmap, int x, int y, double tolerance,
               uint8_t ink) {
  return Within(MatchBitmap(page, bitmap, x, y, ink), bitmap, tolerance);
}

std::optional<Point> FindPrinted(const PageImage& page, const Bitmap& bitmap, int x, int y,
                                 int radius, double tolerance, uint8_t ink) {
  std::optional<Point> best;
  std::size_t best_misses = 0;
  for (int dy = -radius; dy <= radius; ++dy) {
    for (int dx = -radius; dx <= radius; ++dx) {
      const BitmapMatch m = MatchBitmap(page, bitmap, x + dx, y + dy, ink);
      if (!Within(m, bitmap, tolerance)) continue;
      const std::size_t misses = m.unprinted + m.stray_ink;
      if (!best || misses < best_misses) {
        best = Point{x + dx, y + dy};
        best_misses = misses;
      }
    }
  }
  return best;
}

}  // namespace pclspool::render
