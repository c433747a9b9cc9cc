// SIGINT, SIGTERM and SIGHUP stop the command's job cleanly: the job stops
// at the next page (or the next block of a PCL job), Ghostscript is
// stopped, page files and the private spool directory go, and then the
// signal does what it would have done.
#pragma once

#include <atomic>

namespace pclspool::cli {

// Installs the handlers; a signal the caller has the command ignore
// (nohup, a shell's background job) stays ignored.
void CatchStopSignals();

// True once one of the signals came: the job's cancel flag.
const std::atomic<bool>* StopFlag();

// Raises again the signal that stopped the job, with its default action;
// nothing when none came.
void RaiseStopSignal();

}  // namespace pclspool::cli
