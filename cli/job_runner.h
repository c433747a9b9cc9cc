// `pclspool print`: plays the print spooler for one job on the POSIX
// platform. The job's stream goes through the seven hooks page by page, as
// a spooler calls them, and the printer is the output file.
#pragma once

#include <atomic>

#include "exit_status.h"
#include "options.h"

namespace pclspool::cli {

// Runs the job; every failure is reported on standard error in one line.
// Returns the exit status. `cancel`, when given, may be set from another
// thread or a signal handler at any time: no more pages are fed, the job is
// aborted and ended, and nothing more reaches the printer.
int RunPrintJob(const PrintOptions& options, const std::atomic<bool>* cancel = nullptr);

// The whole command: reads argv and runs what it asks.
int Main(int argc, const char* const* argv);

}  // namespace pclspool::cli
