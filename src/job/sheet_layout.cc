#include "job/sheet_layout.h"

#include "job/clamp.h"
#include "job/paper.h"
#include "job/settings.h"

namespace pclspool {

double ScaleRatio(int32_t a, int32_t b) {
  if (a <= 0 || b <= 0) return 1.0;
  // 64-bit squares equal the 32-bit ones for every side up to 46340 dots
  // (any real page) and cannot overflow beyond.
  const int64_t aa = int64_t{a} * a;
  const int64_t bb = int64_t{b} * b;
  if (bb / 2 < aa) return static_cast<double>(b / 2) / a;
  return static_cast<double>(a) / b;
}

SheetLayout LayoutSheet(const SheetJob& job) {
  SheetLayout s{job.pageWidth, job.pageHeight, false, 1.0f, job.pageWidth, job.pageHeight, 1};
  if (job.booklet || job.nup == kNupTwoUp) {
    // The ratio and the truncations are those of the watermark layout, so
    // that a page and its watermark agree to the dot.
    const int32_t a = job.landscape ? job.pageHeight : job.pageWidth;
    const int32_t b = job.landscape ? job.pageWidth : job.pageHeight;
    s.ratio = static_cast<float>(ScaleRatio(a, b));
    s.cellWidth = TruncToInt32(static_cast<float>(job.pageWidth) * s.ratio);
    s.cellHeight = TruncToInt32(static_cast<float>(job.pageHeight) * s.ratio);
    s.sheetWidth = job.pageHeight;
    s.sheetHeight = job.pageWidth;
    s.turned = true;
    s.cells = 2;
  } else if (job.nup == kNupFourUp) {
    s.ratio = 0.5f;
    s.cellWidth = job.pageWidth / 2;
    s.cellHeight = job.pageHeight / 2;
    s.cells = 4;
  }
  return s;
}

SheetJob SheetJobOf(const JobContext& ctx) {
  const PageDots page = JobPageSize(ctx);
  return {page.width, page.height, IsLandscape(ctx), Nup(ctx), IsBooklet(ctx), Styple(ctx)};
}

JobSheet JobSheetOf(const JobContext& ctx) {
  const uint16_t duplex = extra::U16(ctx.extra, extra::kDuplex);
  return {SheetJobOf(ctx), ctx.dm.dmYResolution, ctx.dm.dmPaperSize,
          ctx.lXDim > 0 && ctx.lYDim > 0,
          extra::U32(ctx.extra, extra::kDuplexUnit) == 0 ? -1 : duplex <= 2 ? duplex : 0};
}

int32_t CellOfPage(const SheetJob& job, uint32_t page) {
  if (page == 0) return 0;
  if (job.booklet) {
    // Style 0 reads left to right: the front cover (page 1) and every odd
    // page fall on the right-hand half; the other style mirrors that.
    const bool odd = page % 2 == 1;
    return (odd == (job.bookletStyle == 0)) ? 1 : 0;
  }
  if (job.nup == kNupTwoUp) return static_cast<int32_t>((page - 1) % 2);
  if (job.nup == kNupFourUp) return static_cast<int32_t>((page - 1) % 4);
  return 0;
}

CellOrigin OriginOfCell(const SheetLayout& s, int32_t cell) {
  if (s.cells == 4) {
    const int32_t col = cell % 2;
    const int32_t row = cell / 2 % 2;
    return {col * (s.sheetWidth / 2) + (s.sheetWidth / 2 - s.cellWidth) / 2,
            row * (s.sheetHeight / 2) + (s.sheetHeight / 2 - s.cellHeight) / 2};
  }
  if (s.cells == 2) {
    const int32_t k = cell % 2;
    if (s.cellWidth <= s.cellHeight) {
      // Upright cells side by side.
      const int32_t half = s.sheetWidth / 2;
      return {k * half + (half - s.cellWidth) / 2, (s.sheetHeight - s.cellHeight) / 2};
    }
    const int32_t half = s.sheetHeight / 2;
    return {(s.sheetWidth - s.cellWidth) / 2, k * half + (half - s.cellHeight) / 2};
  }
  return {0, 0};
}

}  // namespace pclspool
