// What a printer makes of a stream: the sheets gpcl6 prints from it, as
// 8-bit grey pictures, and how a printed sheet differs from the page it
// should show.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pclspool::cups_test {

struct Sheet {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;  // rows top to bottom; 0 black, 255 white
  bool Ink(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x] < 128; }
};

// Renders `stream` (a file) with gpcl6 at `dpi` into `work_dir`; the sheets
// in print order, none when gpcl6 cannot be run.
std::vector<Sheet> RenderSheets(const std::string& gpcl6, const std::string& stream, int dpi,
                                const std::string& work_dir);

struct Box {
  int left = 0, top = 0, right = -1, bottom = -1;  // inclusive; empty when right < left
  int Width() const { return right - left + 1; }
  int Height() const { return bottom - top + 1; }
};

struct Difference {
  long missing = 0;  // ink of the page that the sheet lacks
  long extra = 0;    // ink on the sheet that the page has not
  Box extra_box;     // where the extra ink lies
  // The share of the extra box that is inked: a shaded watermark is
  // dotted, so well below 1.
  double ExtraDensity() const {
    const double area = static_cast<double>(extra_box.Width()) * extra_box.Height();
    return area > 0 ? extra / area : 0;
  }
};

// The two must be of one size (a difference of size counts every pixel
// of the page as missing).
Difference Compare(const Sheet& page, const Sheet& printed);

}  // namespace pclspool::cups_test
