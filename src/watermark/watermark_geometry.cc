#include "watermark/watermark_geometry.h"

#include <cmath>

#include "job/paper.h"
#include "job/settings.h"
#include "job/sheet_layout.h"
#include "job/trace.h"
#include "job/clamp.h"

namespace pclspool {

namespace {

// Angles use this ten-digit pi, not a more precise one: at 90 degrees its
// cosine is about 4.5e-11 and truncates to 0 like the exact one would.
constexpr double kPi = 3.1415926535;

double Radians(int32_t angle) { return angle * kPi / 180; }

}  // namespace

double CalcScaleRatio(int32_t a, int32_t b) {
  Trace(u"CalcScaleRatio %d,%d \n", {a, b});
  // A page size that was never given (0) has no ratio: no scaling.
  return ScaleRatio(a, b);
}

FIXED ToFixed(double v) {
  const auto bits = static_cast<uint32_t>(TruncToInt32(v * 65536));
  return FIXED{static_cast<WORD>(bits & 0xFFFF), static_cast<int16_t>(bits >> 16)};
}

MAT2 MakeRotationMatrix(int32_t angle) {
  const double theta = Radians(angle);
  return MAT2{ToFixed(std::cos(theta)), ToFixed(std::sin(theta)), ToFixed(-std::sin(theta)),
              ToFixed(std::cos(theta))};
}

int32_t FontHeightInDots(int32_t lfHeight, int32_t resolution, int32_t logPixels) {
  if (logPixels <= 0) return 0;
  // The product first, the division truncating toward zero.
  return ClampToInt32(int64_t{lfHeight} * resolution / logPixels);
}

PageScale ScaleToPage(const JobContext& ctx, int32_t height) {
  const PageDots page = JobPageSize(ctx);
  PageScale r{height, page.width, page.height, 1.0f};

  // The zoom changes only the font height. An index past the table has no
  // percentage and means no zoom.
  const uint16_t zoom = ZoomIndex(ctx);
  if (zoom != 0 && zoom < kZoomEntries) {
    const auto z = static_cast<float>(ZoomTable[zoom].percent / 100.0);
    r.height = TruncToInt32(static_cast<float>(r.height) * z);
  }

  // The page pair is (short, long) for the usual sizes, from the unscaled
  // dimensions.
  const bool landscape = IsLandscape(ctx);
  const int32_t a = landscape ? page.height : page.width;
  const int32_t b = landscape ? page.width : page.height;
  if (IsBooklet(ctx)) {
    // Booklet pages are imposed two to a side but centred on the full page.
    r.ratio = static_cast<float>(CalcScaleRatio(a, b));
    r.height = TruncToInt32(static_cast<float>(r.height) * r.ratio);
  } else if (Nup(ctx) == kNupTwoUp) {
    r.ratio = static_cast<float>(CalcScaleRatio(a, b));
    r.pageWidth = TruncToInt32(static_cast<float>(r.pageWidth) * r.ratio);
    r.pageHeight = TruncToInt32(static_cast<float>(r.pageHeight) * r.ratio);
    r.height = TruncToInt32(static_cast<float>(r.height) * r.ratio);
  } else if (Nup(ctx) == kNupFourUp) {
    r.ratio = 0.5f;
    r.pageWidth /= 2;
    r.pageHeight /= 2;
    r.height /= 2;
  }
  return r;
}

POINT CenteredStart(int32_t pageWidth, int32_t pageHeight, int32_t angle, SIZE extent) {
  // The rotated text's bounding box; sin and cos keep their signs, so
  // negative angles give a negative box side.
  const double theta = Radians(angle);
  const double c = std::cos(theta);
  const double s = std::sin(theta);
  const int64_t w = TruncToInt32(c * extent.cx + s * extent.cy);
  const int64_t h = TruncToInt32(c * extent.cy + s * extent.cx);
  // Halvings truncate toward zero.
  const int64_t x0 = (pageWidth - w) / 2 + TruncToInt32(s * extent.cy);
  const int64_t y0 = h + (pageHeight - h) / 2;
  return POINT{ClampToInt32(x0), ClampToInt32(y0)};
}

POINT OffsetInDots(const WatermarkDefinition& def, int32_t resolution, float ratio) {
  if (def.centerToPage != 0) return POINT{0, 0};
  // Tenths of an inch at full scale; the zoom does not enter.
  const float f = static_cast<float>(resolution) * ratio / 10.0f;
  return POINT{TruncToInt32(static_cast<float>(def.xOffset) * f),
               TruncToInt32(static_cast<float>(def.yOffset) * f)};
}

}  // namespace pclspool
