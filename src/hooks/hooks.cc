// The seven hooks the spooler calls around every job, and DllMain.
//
// The spooler's order for one job: DrvSplStartDoc; DrvSplWritePrinter
// calls, each page bracketed by DrvSplStartPage and DrvSplEndPage;
// DrvSplEndDoc; DrvSplClose. DrvSplAbort may come at any time in between.
// No exception leaves a hook.
//
// A spooler that prints on several printers at once calls the hooks of
// different jobs on different threads. Each job keeps its own state (its
// context, its page file, its watermark); what jobs share is the module's
// scratch buffers, which hold nothing from one hook to the next: the trace
// buffer, the page-file path and copy buffers, the key-name list, the
// command buffer and the class 2 buffers. The module lock guards those:
// every hook that may use them holds it for its whole run.
// DrvSplWritePrinter takes it only for the settings trace, DrvSplAbort and
// DllMain never.
#include <atomic>
#include <new>

#include "job/job_context.h"
#include "hooks/module_lock.h"
#include "job/output.h"
#include "job/pjl.h"
#include "job/settings.h"
#include "job/trace.h"
#include "pclspool/pclspool.h"
#include "platform/platform.h"
#include "spool/booklet.h"
#include "spool/collate.h"
#include "spool/page_files.h"
#include "spool/sheet_separator.h"
#include "watermark/watermark_drawing.h"
#include "watermark/watermark_state.h"

using namespace pclspool;

namespace {

// A null handle (a job whose DrvSplStartDoc failed) makes every hook a
// no-op rather than a crash.
JobContext* Context(PCLSPOOL_HANDLE h) { return static_cast<JobContext*>(h); }

// Sets bits of dwState. DrvSplAbort may come from another thread while a
// hook of the same job runs, and must not wait for the module lock (a hook
// of any job may hold it for as long as a printer takes to accept bytes),
// so the state word is only ever changed atomically.
void MarkState(JobContext& ctx, uint32_t bits) {
  static_assert(std::atomic_ref<uint32_t>::is_always_lock_free);
  std::atomic_ref<uint32_t>(ctx.dwState).fetch_or(bits);
}

// What a PJL line at the start of a stream buffer sets: the page size, or
// (entering PCL) the settings trace. False if the trace failed.
bool NotePjlLine(JobContext& ctx, const PjlMatch& pjl) {
  try {
    switch (pjl.line) {
      case PjlLine::kXDim: ctx.lXDim = pjl.value; break;
      case PjlLine::kYDim: ctx.lYDim = pjl.value; break;
      case PjlLine::kEnterPcl: {
        const ModuleLock lock;
        TraceSettings(ctx);
        break;
      }
      case PjlLine::kNone: break;
    }
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

extern "C" {

PCLSPOOL_API PCLSPOOL_HANDLE PCLSPOOL_CALL DrvSplStartDoc(PCLSPOOL_HANDLE hPrinter,
                                                          PCLSPOOL_DWORD JobId) {
  try {
    const ModuleLock lock;
    void* mem = platform::Get().heap->Alloc(sizeof(JobContext));
    Trace(u"DrvSplStratDoc 0x:%x\r\n", {reinterpret_cast<uintptr_t>(mem)});
    if (!mem) return nullptr;
    auto* ctx = new (mem) JobContext();  // zero-filled
    ctx->dwSignature = kJobSignature;
    ctx->hPrinter = hPrinter;
    ctx->hPageFile = InvalidHandleValue();
    ctx->dwJobId = JobId;
    ctx->dwState = kStateCreated;
    ctx->bFontDownloaded = 0;
    // A failed capture leaves zero settings until the first page.
    CaptureSettings(hPrinter, JobId, *ctx);
    return ctx;
  } catch (...) {
    return nullptr;
  }
}

PCLSPOOL_API PCLSPOOL_BOOL PCLSPOOL_CALL DrvSplWritePrinter(PCLSPOOL_HANDLE hDriver, void* pBuf,
                                                            PCLSPOOL_DWORD cbBuf,
                                                            PCLSPOOL_DWORD* pcWritten) {
  // Only the settings trace works in a module-level buffer. Everything
  // else here belongs to this job alone (its context, its page file, its
  // printer), so the stream's bytes go out without the module lock: a
  // printer slow to take them holds up no other job.
  if (!hDriver) return kFalse;
  JobContext& ctx = *Context(hDriver);
  ++ctx.cWrites;
  const auto* bytes = static_cast<const uint8_t*>(pBuf);
  const PjlMatch pjl = RecognizePjl(bytes, bytes ? cbBuf : 0);
  if (pjl.line != PjlLine::kNone && !NotePjlLine(ctx, pjl)) return kFalse;
  // The services the routing calls throw nothing.
  return RouteOutput(ctx, pBuf, cbBuf, pcWritten);
}

PCLSPOOL_API PCLSPOOL_BOOL PCLSPOOL_CALL DrvSplStartPage(PCLSPOOL_HANDLE hDriver) {
  try {
    const ModuleLock lock;
    if (!hDriver) return kTrue;
    JobContext& ctx = *Context(hDriver);
    ++ctx.cPages;
    Trace(u"  Page=%d\r\n", {ctx.cPages});
    if (ctx.cPages == 1) {
      OverrideSettings(ctx);
      TraceSettings(ctx);
    }
    if (StoresPages(ctx)) {
      Save2File(ctx);
      if (IsBooklet(ctx)) {
        // Every booklet page file carries its own soft font.
        ctx.bFontDownloaded = 0;
        return kTrue;
      }
    }
    SheetSeparator(ctx);
  } catch (...) {
  }
  return kTrue;
}

PCLSPOOL_API PCLSPOOL_BOOL PCLSPOOL_CALL DrvSplEndPage(PCLSPOOL_HANDLE hDriver) {
  try {
    const ModuleLock lock;
    if (!hDriver) return kTrue;
    JobContext& ctx = *Context(hDriver);
    ++ctx.cEndPages;
    if (WaterIdx(ctx) != 0) WatermarkEndPage(ctx);
    ClosePageFile(ctx);
  } catch (...) {
  }
  return kTrue;
}

PCLSPOOL_API void PCLSPOOL_CALL DrvSplEndDoc(PCLSPOOL_HANDLE hDriver) {
  try {
    const ModuleLock lock;
    if (!hDriver) return;
    JobContext& ctx = *Context(hDriver);
    MarkState(ctx, kStateEndDoc);
    if (IsBooklet(ctx)) {
      ReorderBooklet(ctx);
      // Further copies only when the job is also a group-sort job; the
      // predicate is read on the context ReorderBooklet has put back.
      for (int copy = 1; IsGroupSort(ctx) && copy < ctx.dm.dmCopies; ++copy) ReorderBooklet(ctx);
    } else if (IsGroupSort(ctx)) {
      CollateCopies(ctx);
    } else {
      WriteJobEnd(ctx);
    }
    if (StoresPages(ctx)) DeletePageFiles(ctx);
  } catch (...) {
  }
}

PCLSPOOL_API void PCLSPOOL_CALL DrvSplClose(PCLSPOOL_HANDLE hDriver) {
  try {
    const ModuleLock lock;
    JobContext* ctx = Context(hDriver);
    if (!ctx) return;
    // A page file still open after an abort in mid-page is closed, so that
    // its handle does not leak and the file is not left locked. No page
    // file is deleted here.
    ClosePageFile(*ctx);
    FreeWatermarkState(*ctx);
    platform::Get().heap->Free(ctx);
  } catch (...) {
  }
}

PCLSPOOL_API void PCLSPOOL_CALL DrvSplAbort(PCLSPOOL_HANDLE hDriver) {
  // Only marks the context: the later hooks behave as if no abort had come.
  // It touches nothing module-level, and takes no lock.
  if (hDriver) MarkState(*Context(hDriver), kStateAborted);
}

}  // extern "C"

// The module entry point. Thread notifications are switched off: the
// module has no per-thread state. It takes no lock: the loader calls it,
// under the loader's own lock, before the first hook and after the last.
extern "C" PCLSPOOL_BOOL PCLSPOOL_CALL DllMain(PCLSPOOL_HANDLE hModule, PCLSPOOL_DWORD reason,
                                               void* /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) platform::Get().module->DisableThreadLibraryCalls(hModule);
  return kTrue;
}
