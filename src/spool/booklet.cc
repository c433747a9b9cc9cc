#include "spool/booklet.h"

#include <utility>

#include "job/output.h"
#include "job/trace.h"
#include "platform/platform.h"
#include "spool/page_files.h"
#include "spool/sheet_separator.h"

namespace pclspool {

namespace {

void SendSlot(JobContext& ctx, int32_t page) {
  if (page != 0) CopyPageToDevice(ctx, static_cast<uint32_t>(page));
}

}  // namespace

PageOrder PageOrderEntry(uint32_t pages, uint32_t sheet, uint16_t style) {
  const int64_t last = int64_t{4} * SheetCount(pages);  // pages rounded up to whole sheets
  const int64_t i2 = int64_t{2} * sheet;
  int64_t p0 = last - i2, p1 = i2 + 1, n0 = i2 + 2, n1 = last - i2 - 1;
  if (style != 0) {
    std::swap(p0, p1);
    std::swap(n0, n1);
  }
  auto slot = [pages](int64_t page) {
    return page > int64_t{pages} ? 0 : static_cast<int32_t>(page);
  };
  return {{slot(p0), slot(p1)}, {slot(n0), slot(n1)}};
}

void FillPageOrder(PageOrder* table, uint32_t pages, uint16_t style) {
  const uint32_t sheets = SheetCount(pages);
  for (uint32_t i = 0; i < sheets; ++i) table[i] = PageOrderEntry(pages, i, style);
}

void ReorderBooklet(JobContext& ctx) {
  platform::Heap& heap = *platform::Get().heap;
  Trace(u"ReorderBooklet Total:%d\n", {ctx.cPages});
  const uint32_t pages = ctx.cPages;
  const int16_t paper = ctx.dm.dmPaperSize;
  ctx.dm.dmPaperSize = static_cast<int16_t>(paper & ~kBookletBit);

  const uint16_t style = Styple(ctx);
  const uint32_t sheets = SheetCount(pages);
  // Every entry is a function of its sheet index alone, so when the table
  // cannot be allocated the entries are computed as they are needed and
  // the booklet is still sent whole.
  auto* table = sheets ? static_cast<PageOrder*>(heap.Alloc(sizeof(PageOrder) * sheets)) : nullptr;
  if (table) FillPageOrder(table, pages, style);

  uint32_t side = 0;
  bool separator_pending = false;
  for (uint32_t i = 0; i < sheets; ++i) {
    const PageOrder e = table ? table[i] : PageOrderEntry(pages, i, style);
    ctx.cPages = ++side;
    if (separator_pending) {
      WriteToDevice(ctx, &kFormFeed, 1);
      separator_pending = false;
    }
    Trace(u"pPageOrder[%d]=P[%d,%d]N[%d,%d]\n", {i, e.P[0], e.P[1], e.N[0], e.N[1]});
    // The front side always sends the lower page first.
    SendSlot(ctx, style ? e.P[0] : e.P[1]);
    SendSlot(ctx, style ? e.P[1] : e.P[0]);
    WriteToDevice(ctx, &kFormFeed, 1);
    ctx.cPages = ++side;
    SendSlot(ctx, e.N[0]);
    SendSlot(ctx, e.N[1]);
    separator_pending = true;
  }
  WriteJobEnd(ctx);

  heap.Free(table);
  ctx.cPages = pages;
  ctx.dm.dmPaperSize = paper;
}

}  // namespace pclspool
