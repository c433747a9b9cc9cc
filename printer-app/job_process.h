// The job process: one print job, run by the server in a process of its
// own (the runner is one job per process, and a fault in one job takes
// neither the server nor another job down). It reads its command line
// (job_command.h), turns a raster or image document into PDF, runs the job
// through runner::RunPrintJob with the printer stream on standard output,
// and reports on descriptor 3 (job_report.h).
//
// SIGTERM cancels: nothing more reaches standard output, the runner stops
// at once and removes its page files, and the process exits with
// runner::kExitCancelled. When the server goes away, the process gets
// SIGTERM too.
#pragma once

namespace pclspool::app {

// The sub-command's main: argv[0] is the program, argv[1] the sub-command.
// Returns the runner's exit status.
int JobProcessMain(int argc, char** argv);

}  // namespace pclspool::app
