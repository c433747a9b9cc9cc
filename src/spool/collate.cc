#include "spool/collate.h"

#include "job/output.h"
#include "spool/page_files.h"

namespace pclspool {

void CollateCopies(JobContext& ctx) {
  for (int copy = 0; copy < ctx.dm.dmCopies; ++copy) {
    // A 32-bit page number, so that jobs past 65,535 pages end.
    for (uint32_t p = 1; p <= ctx.cPages && p != 0; ++p) CopyPageToDevice(ctx, p);
    WriteJobEnd(ctx);
  }
}

}  // namespace pclspool
