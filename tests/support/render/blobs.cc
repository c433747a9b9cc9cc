#include "support/render/blobs.h"

namespace pclspool::render {

std::vector<Blob> FindBlobs(const PageImage& page, uint8_t ink, std::size_t min_pixels) {
  std::vector<Blob> blobs;
  const int w = page.width;
  const int h = page.height;
  // One mark per pixel, set once the pixel is in a blob; the flood fill's
  // stack is reused for every blob.
  std::vector<uint8_t> seen(page.pixels.size(), 0);
  std::vector<std::size_t> stack;
  for (std::size_t start = 0; start < page.pixels.size(); ++start) {
    if (seen[start] || page.pixels[start] > ink) continue;
    Blob blob;
    const int sx = static_cast<int>(start % w);
    const int sy = static_cast<int>(start / w);
    blob.box = {sx, sy, sx + 1, sy + 1};
    seen[start] = 1;
    stack.push_back(start);
    while (!stack.empty()) {
      const std::size_t at = stack.back();
      stack.pop_back();
      ++blob.pixels;
      const int x = static_cast<int>(at % w);
      const int y = static_cast<int>(at / w);
      if (x < blob.box.left) blob.box.left = x;
      if (x >= blob.box.right) blob.box.right = x + 1;
      if (y >= blob.box.bottom) blob.box.bottom = y + 1;
      for (int ny = y - 1; ny <= y + 1; ++ny) {
        if (ny < 0 || ny >= h) continue;
        for (int nx = x - 1; nx <= x + 1; ++nx) {
          if (nx < 0 || nx >= w) continue;
          const std::size_t n = static_cast<std::size_t>(ny) * w + nx;
          if (seen[n] || page.pixels[n] > ink) continue;
          seen[n] = 1;
          stack.push_back(n);
        }
      }
    }
    if (blob.pixels >= min_pixels) blobs.push_back(blob);
  }
  return blobs;
}

}  // namespace pclspool::render
