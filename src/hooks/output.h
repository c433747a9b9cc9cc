// The two ways out for bytes: the output routing, for everything that
// belongs to a page, and the write to device, for the closing UEL and the
// end-of-document replays.
#pragma once

#include "hooks/job_context.h"

namespace pclspool {

// Plain jobs: straight to the printer. Booklet and group-sort jobs: into the
// page file open now, or dropped when none is open. Dropped bytes count as
// written (TRUE, *written = count): nothing went wrong, the job just keeps
// no such bytes. written may be null.
BOOL RouteOutput(JobContext& ctx, const void* bytes, DWORD count, DWORD* written = nullptr);

// WritePrinter on the job's printer handle. written may be null.
BOOL WriteToDevice(JobContext& ctx, const void* bytes, DWORD count, DWORD* written = nullptr);

// The PJL Universal Exit Language sequence that closes a job or a copy.
inline constexpr char kUel[] = "\x1B%-12345X";
inline constexpr DWORD kUelLength = sizeof(kUel) - 1;
static_assert(kUelLength == 9);

}  // namespace pclspool
