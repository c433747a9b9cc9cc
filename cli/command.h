// `pclspool`: the command that plays the print spooler for one job, a thin
// shell around the job runner.
#pragma once

namespace pclspool::cli {

// The whole command: reads argv and runs what it asks. Returns the exit
// status (runner/exit_status.h).
int Main(int argc, const char* const* argv);

}  // namespace pclspool::cli
