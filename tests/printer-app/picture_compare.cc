#include "picture_compare.h"

#include <zlib.h>

#include <algorithm>
#include <vector>

namespace pclspool::apptest {

render::PageImage DecodePng(const std::string& png, std::string* error) {
  render::PageImage image;
  std::string idat;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const auto u32 = [&](std::size_t i) {
      return static_cast<uint32_t>(static_cast<uint8_t>(png[i])) << 24 |
             static_cast<uint32_t>(static_cast<uint8_t>(png[i + 1])) << 16 |
             static_cast<uint32_t>(static_cast<uint8_t>(png[i + 2])) << 8 |
             static_cast<uint8_t>(png[i + 3]);
    };
    const uint32_t length = u32(at);
    const std::string type = png.substr(at + 4, 4);
    if (type == "IHDR") {
      image.width = static_cast<int>(u32(at + 8));
      image.height = static_cast<int>(u32(at + 12));
    }
    if (type == "IDAT") idat += png.substr(at + 8, length);
    at += 12 + length;
  }
  std::string raw(static_cast<std::size_t>(image.width + 1) * image.height, '\0');
  uLongf size = raw.size();
  if (image.width <= 0 || uncompress(reinterpret_cast<Bytef*>(raw.data()), &size,
                                     reinterpret_cast<const Bytef*>(idat.data()), idat.size()) != Z_OK) {
    *error = "not a PNG of the app's";
    return {};
  }
  for (int y = 0; y < image.height; ++y) {
    const std::size_t row = static_cast<std::size_t>(y) * (image.width + 1);
    if (raw[row] != 0) *error = "a row with a filter";
    image.pixels.insert(image.pixels.end(), raw.begin() + static_cast<std::ptrdiff_t>(row + 1),
                        raw.begin() + static_cast<std::ptrdiff_t>(row + 1 + image.width));
  }
  return image;
}

std::string CompareWithPrinted(const render::PageImage& preview, const render::PageImage& page) {
  constexpr int kCell = 6;     // pixels a side: shading patterns even out
  constexpr int kPaper = 235;  // a cell's mean grey below this is inked
  if (page.width != preview.width || page.height != preview.height) {
    return "the picture is " + std::to_string(preview.width) + " x " + std::to_string(preview.height) +
           ", the printed page " + std::to_string(page.width) + " x " + std::to_string(page.height);
  }
  const int columns = page.width / kCell;
  const int rows = page.height / kCell;
  const auto inked = [&](const render::PageImage& image) {
    std::vector<bool> cells(static_cast<std::size_t>(columns) * rows);
    for (int cy = 0; cy < rows; ++cy) {
      for (int cx = 0; cx < columns; ++cx) {
        int sum = 0;
        for (int y = cy * kCell; y < (cy + 1) * kCell; ++y) {
          for (int x = cx * kCell; x < (cx + 1) * kCell; ++x) sum += image.At(x, y);
        }
        cells[static_cast<std::size_t>(cy) * columns + cx] = sum < kPaper * kCell * kCell;
      }
    }
    return cells;
  };
  const std::vector<bool> in_picture = inked(preview);
  const std::vector<bool> in_print = inked(page);
  const auto near = [&](const std::vector<bool>& cells, int cx, int cy) {
    for (int y = std::max(0, cy - 1); y <= std::min(rows - 1, cy + 1); ++y) {
      for (int x = std::max(0, cx - 1); x <= std::min(columns - 1, cx + 1); ++x) {
        if (cells[static_cast<std::size_t>(y) * columns + x]) return true;
      }
    }
    return false;
  };
  std::size_t both = 0, only_picture = 0, only_printed = 0;
  for (int cy = 0; cy < rows; ++cy) {
    for (int cx = 0; cx < columns; ++cx) {
      const std::size_t i = static_cast<std::size_t>(cy) * columns + cx;
      both += in_picture[i] && in_print[i];
      only_picture += in_picture[i] && !near(in_print, cx, cy);
      only_printed += in_print[i] && !near(in_picture, cx, cy);
    }
  }
  if (both < 100) return "only " + std::to_string(both) + " cells inked in both";
  if (only_picture > both / 50 || only_printed > both / 50) {
    return std::to_string(only_picture) + " cells inked in the picture alone and " +
           std::to_string(only_printed) + " on the printed page alone, " + std::to_string(both) +
           " in both";
  }
  return "";
}

}  // namespace pclspool::apptest
