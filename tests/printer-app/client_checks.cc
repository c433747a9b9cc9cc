#include "client_checks.h"

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "support/render/numbered_pages.h"
#include "support/render/renderer.h"

namespace pclspool::apptest {

namespace {

// Enough to tell the numbered pages apart.
constexpr int kDpi = 40;
// A4's height to its width, give or take a pixel of rounding at kDpi.
constexpr double kA4Ratio = 297.0 / 210.0;
constexpr double kRatioSlack = 0.02;

std::string Listed(const std::vector<int>& pages) {
  std::string s = "{";
  for (const int p : pages) s += (s.size() > 1 ? "," : "") + std::to_string(p);
  return s + "}";
}

}  // namespace

std::string SidesDiffer(const std::filesystem::path& stream, const Sides& sides) {
  const render::PageImages printed = render::RenderPages(stream, kDpi);
  if (!printed.error.empty()) return printed.error;
  std::ostringstream diff;
  if (printed.pages.size() != sides.size()) {
    diff << printed.pages.size() << " sides printed, " << sides.size() << " asked for; ";
  }
  for (std::size_t i = 0; i < printed.pages.size(); ++i) {
    const render::PageImage& side = printed.pages[i];
    const double ratio = static_cast<double>(side.height) / side.width;
    if (std::abs(ratio - kA4Ratio) > kRatioSlack) {
      diff << "side " << i + 1 << " is " << side.width << " x " << side.height << ", not A4; ";
    }
    if (std::none_of(side.pixels.begin(), side.pixels.end(),
                     [](uint8_t p) { return p <= render::kInkLevel; })) {
      diff << "side " << i + 1 << " is blank; ";
    }
    const std::vector<int> shows = render::PagesOnSheet(side);
    if (i < sides.size() && shows != sides[i]) {
      diff << "side " << i + 1 << " shows " << Listed(shows) << ", not " << Listed(sides[i])
           << "; ";
    }
  }
  return diff.str();
}

}  // namespace pclspool::apptest
