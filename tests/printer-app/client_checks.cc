#include "client_checks.h"

#include <algorithm>
#include <cmath>
#include <sstream>

#include "support/render/numbered_pages.h"
#include "support/render/renderer.h"

namespace pclspool::apptest {

std::string SidesDiffer(const std::filesystem::path& stream, const Sides& sides) {
  constexpr int kDpi = 40;  // enough to tell the numbered pages apart
  const render::PageImages printed = render::RenderPages(stream, kDpi);
  std::ostringstream diff;
  diff << printed.error;
  if (printed.pages.size() != sides.size()) diff << printed.pages.size() << " sides printed; ";
  for (std::size_t i = 0; i < printed.pages.size() && i < sides.size(); ++i) {
    const render::PageImage& side = printed.pages[i];
    // A4's height to its width, give or take the rounding at kDpi.
    if (std::abs(static_cast<double>(side.height) / side.width - 297.0 / 210.0) > 0.02) {
      diff << "side " << i + 1 << " is not A4; ";
    }
    if (std::none_of(side.pixels.begin(), side.pixels.end(),
                     [](uint8_t p) { return p <= render::kInkLevel; })) {
      diff << "side " << i + 1 << " is blank; ";
    }
    if (render::PagesOnSheet(side) != sides[i]) diff << "side " << i + 1 << " shows other pages; ";
  }
  return diff.str();
}

}  // namespace pclspool::apptest
