// `pclspool print`: plays the print spooler for one job on the POSIX
// platform. The job's stream goes through the seven hooks page by page, as
// a spooler calls them, and the printer is the output file.
#pragma once

#include <atomic>

#include "options.h"

namespace pclspool::cli {

// Exit statuses of the command.
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

// Runs the job; every failure is reported on standard error in one line.
// Returns the exit status. `cancel`, when given, may be set from another
// thread or a signal handler at any time: no more pages are fed, the job is
// aborted and ended, and nothing more reaches the printer.
int RunPrintJob(const PrintOptions& options, const std::atomic<bool>* cancel = nullptr);

// The whole command: reads argv and runs what it asks.
int Main(int argc, const char* const* argv);

}  // namespace pclspool::cli
