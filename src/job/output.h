// The two ways out for bytes: the output routing, for everything that
// belongs to a page, and the write to device, for the closing UEL and the
// end-of-document replays.
#pragma once

#include "job/job_context.h"
#include "job/settings.h"
#include "platform/platform.h"

namespace pclspool {

// Both are inline: they sit on the path of every stream buffer, right above
// the printer's write, and bench/ (the pass-through case) measured each
// extra call level there at several per cent of a write to /dev/null.

// WritePrinter on the job's printer handle. written may be null.
inline BOOL WriteToDevice(JobContext& ctx, const void* bytes, DWORD count,
                          DWORD* written = nullptr) noexcept {
  return platform::Get().spooler->WritePrinter(ctx.hPrinter, bytes, count, written);
}

// Plain jobs: straight to the printer. Booklet and group-sort jobs: into the
// page file open now, or dropped when none is open. Dropped bytes count as
// written (TRUE, *written = count): nothing went wrong, the job just keeps
// no such bytes. written may be null.
inline BOOL RouteOutput(JobContext& ctx, const void* bytes, DWORD count,
                        DWORD* written = nullptr) noexcept {
  if (!StoresPages(ctx)) return WriteToDevice(ctx, bytes, count, written);
  DWORD done = 0;
  BOOL ok = kTrue;
  if (ctx.hPageFile != InvalidHandleValue()) {
    ok = platform::Get().files->WriteFile(ctx.hPageFile, bytes, count, &done);
    // A page file cut short would garble every page replayed after it (a
    // raster or font block cut short swallows the bytes that follow): the
    // page is lost, and its file is deleted when it is closed.
    if (!ok || done != count) ctx.bPageLost = 1;
  } else {
    done = count;
  }
  if (written) *written = done;
  return ok;
}

// The PJL Universal Exit Language sequence that closes a job or a copy.
inline constexpr char kUel[] = "\x1B%-12345X";
inline constexpr DWORD kUelLength = sizeof(kUel) - 1;
static_assert(kUelLength == 9);

// The watermark's soft font. It is made permanent when it is downloaded,
// so that a reset in the job (ESC E, which some producers send at every
// page) does not delete it before the later pages' labels; the job deletes
// it again as it ends.
inline constexpr int kSoftFontId = 16300;
inline constexpr char kDeleteSoftFont[] = "\x1B*c16300d2F";

// Ends the job, or one copy of a replay: the watermark's font leaves the
// printer with the job that downloaded it, then the UEL. Returns the
// UEL's write result.
inline BOOL WriteJobEnd(JobContext& ctx) {
  if (ctx.pWatermark) WriteToDevice(ctx, kDeleteSoftFont, sizeof(kDeleteSoftFont) - 1);
  return WriteToDevice(ctx, kUel, kUelLength);
}

}  // namespace pclspool
