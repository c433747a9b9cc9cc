#include "spool/sheet_separator.h"

#include "job/output.h"
#include "job/trace.h"

namespace pclspool {

void SheetSeparator(JobContext& ctx) {
  if (ctx.cPages == 1) return;
  switch (Nup(ctx)) {
    case 0:
      RouteOutput(ctx, &kFormFeed, 1);
      break;
    case 1:
      // Two-up traces the cell counter before advancing it, four-up after:
      // the lines are kept as the printer's logs have always shown them.
      Trace(u"  cCount=%d\r\n", {ctx.cCount});
      if (++ctx.cCount == 2) {
        RouteOutput(ctx, &kFormFeed, 1);
        ctx.cCount = 0;
      }
      break;
    case 2:
      ++ctx.cCount;
      Trace(u"  cCount=%d\r\n", {ctx.cCount});
      if (ctx.cCount == 4) {
        RouteOutput(ctx, &kFormFeed, 1);
        ctx.cCount = 0;
      }
      break;
    default:
      break;
  }
}

}  // namespace pclspool
