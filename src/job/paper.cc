#include "job/paper.h"

#include <cstdlib>
#include <string_view>
#include <utility>

#include "job/clamp.h"

namespace pclspool {

namespace {

// Sizes and logical page offsets at 300 dpi as PCL 5 printers define them:
// a quarter inch (75 dots) in portrait and a fifth (60) in landscape on the
// American sizes, 71 and 59 dots on the metric ones.
constexpr Paper kPapers[] = {
    {1, "letter", 2, 2550, 3300, 75, 60},
    {3, "11x17", 6, 3300, 5100, 75, 60},  // tabloid
    {4, "ledger", 6, 3300, 5100, 75, 60},
    {5, "legal", 3, 2550, 4200, 75, 60},
    {7, "executive", 1, 2175, 3150, 75, 60},
    {8, "a3", 27, 3507, 4960, 71, 59},
    {9, "a4", 26, 2480, 3507, 71, 59},
    {11, "a5", 25, 1748, 2480, 71, 59},
    {12, "b4", 46, 3036, 4299, 71, 59},  // JIS
    {13, "b5", 45, 2150, 3035, 71, 59},  // JIS
};

bool Near(int32_t have, int32_t want) {
  // Half a percent: a page size given in dots may be rounded either way.
  return std::llabs(int64_t{have} - want) * 200 <= int64_t{want};
}

}  // namespace

const Paper* PaperByCode(int32_t dmPaperSize) {
  const int32_t code = dmPaperSize & ~kBookletBit;
  for (const Paper& p : kPapers) {
    if (p.dmPaper == code) return &p;
  }
  return nullptr;
}

const Paper* PaperBySize(int32_t width, int32_t height, int32_t resolution) {
  if (resolution <= 0 || width <= 0 || height <= 0) return nullptr;
  for (const Paper& p : kPapers) {
    const int32_t w = DotsAt(p.width300, resolution);
    const int32_t h = DotsAt(p.height300, resolution);
    if ((Near(width, w) && Near(height, h)) || (Near(width, h) && Near(height, w))) return &p;
  }
  return nullptr;
}

const Paper* PaperByName(std::string_view name) {
  for (const Paper& p : kPapers) {
    if (name == p.name) return &p;
  }
  return nullptr;
}

const Paper& DefaultPaper() { return *PaperByCode(9); }

int32_t DotsAt(int32_t dots300, int32_t resolution) {
  return ClampToInt32(int64_t{dots300} * resolution / 300);
}

int32_t LogicalPageOffset(const Paper& paper, bool landscape, int32_t resolution) {
  return DotsAt(landscape ? paper.offsetLandscape300 : paper.offsetPortrait300, resolution);
}

const Paper* PaperOf(int32_t width, int32_t height, int32_t resolution, int32_t paper_code) {
  const Paper* paper = PaperBySize(width, height, resolution);
  return paper ? paper : PaperByCode(paper_code);
}

const Paper* PaperOf(int32_t width, int32_t height, const JobContext& ctx) {
  return PaperOf(width, height, ctx.dm.dmYResolution, ctx.dm.dmPaperSize);
}

PageDots JobPageSize(const JobContext& ctx) {
  PageDots page{ctx.lXDim, ctx.lYDim};
  if (page.width > 0 && page.height > 0) return page;
  const Paper* paper = PaperByCode(ctx.dm.dmPaperSize);
  if (!paper) paper = &DefaultPaper();
  const int32_t resolution = ctx.dm.dmYResolution;
  int32_t w = DotsAt(paper->width300, resolution);
  int32_t h = DotsAt(paper->height300, resolution);
  if (IsLandscape(ctx)) std::swap(w, h);
  if (page.width <= 0) page.width = w;
  if (page.height <= 0) page.height = h;
  return page;
}

}  // namespace pclspool
