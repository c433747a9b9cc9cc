#include "support/render/page_compare.h"

#include <algorithm>

namespace pclspool::render {

namespace {

// Grows `box` to hold the pixel (x, y); an empty box becomes that pixel.
void Include(Box* box, int x, int y) {
  if (box->Empty()) {
    *box = {x, y, x + 1, y + 1};
    return;
  }
  box->left = std::min(box->left, x);
  box->top = std::min(box->top, y);
  box->right = std::max(box->right, x + 1);
  box->bottom = std::max(box->bottom, y + 1);
}

}  // namespace

std::ostream& operator<<(std::ostream& out, const Box& box) {
  if (box.Empty()) return out << "(empty)";
  return out << "(" << box.left << "," << box.top << ")-(" << box.right << "," << box.bottom
             << ") " << box.Width() << "x" << box.Height();
}

PageDiff ComparePages(const PageImage& a, const PageImage& b) {
  PageDiff diff;
  if (a.width != b.width || a.height != b.height) {
    diff.same_size = false;
    diff.pixels = std::max(a.pixels.size(), b.pixels.size());
    diff.box = {0, 0, std::max(a.width, b.width), std::max(a.height, b.height)};
    return diff;
  }
  for (int y = 0; y < a.height; ++y) {
    const uint8_t* ra = a.pixels.data() + static_cast<std::size_t>(y) * a.width;
    const uint8_t* rb = b.pixels.data() + static_cast<std::size_t>(y) * b.width;
    // Whole rows compare at memory speed; only a differing row is walked.
    if (std::equal(ra, ra + a.width, rb)) continue;
    for (int x = 0; x < a.width; ++x) {
      if (ra[x] == rb[x]) continue;
      ++diff.pixels;
      Include(&diff.box, x, y);
    }
  }
  return diff;
}

Box InkBox(const PageImage& page, uint8_t ink) {
  Box box;
  for (int y = 0; y < page.height; ++y) {
    const uint8_t* row = page.pixels.data() + static_cast<std::size_t>(y) * page.width;
    const auto is_ink = [ink](uint8_t v) { return v <= ink; };
    const uint8_t* first = std::find_if(row, row + page.width, is_ink);
    if (first == row + page.width) continue;
    const auto last = std::find_if(std::make_reverse_iterator(row + page.width),
                                   std::make_reverse_iterator(row), is_ink);
    Include(&box, static_cast<int>(first - row), y);
    Include(&box, static_cast<int>(last.base() - row) - 1, y);
  }
  return box;
}

std::size_t InkPixels(const PageImage& page, const Box& box, uint8_t ink) {
  const int left = std::max(box.left, 0);
  const int top = std::max(box.top, 0);
  const int right = std::min(box.right, page.width);
  const int bottom = std::min(box.bottom, page.height);
  std::size_t n = 0;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) n += page.At(x, y) <= ink;
  }
  return n;
}

}  // namespace pclspool::render
