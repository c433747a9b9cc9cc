// How a run of the job ends.
#pragma once

namespace pclspool::runner {

// The exit statuses of the command and the CUPS filter's runner, one for
// each kind of end, as the README lists them. Every status but kExitOk
// comes with one line on standard error that says what and where.
inline constexpr int kExitOk = 0;
// The printer output could not be written, or pages were lost because the
// spool directory could not store them.
inline constexpr int kExitWriteFailed = 1;
// Bad usage, unreadable input or settings; also an input that Ghostscript
// cannot render, or Ghostscript failing in mid-job.
inline constexpr int kExitUsage = 2;
// The caller's cancel flag came true: the job stopped at the next page,
// Ghostscript was stopped, nothing more reached the printer (a stored job
// printed nothing) and its page files are gone. The command itself then
// ends by the signal that stopped it.
inline constexpr int kExitCancelled = 3;
// The system could not give the job what it needs to run at all (memory
// for its buffers, its printer or its context); nothing was printed.
inline constexpr int kExitNoResources = 4;

}  // namespace pclspool::runner
