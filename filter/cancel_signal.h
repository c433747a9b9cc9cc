// The signals of a CUPS filter. CUPS cancels a job by sending SIGTERM to
// its filters: the handler sets a flag, which the job runner checks after
// every read and page, and the job then ends as an aborted one. The handler
// also puts /dev/null in the place of standard output: a write that waits
// for the printer (a full pipe, a stalled device) is interrupted (the
// handler is installed without SA_RESTART), and when it is tried again it
// goes nowhere, so the filter cannot hang on the printer once cancelled
// and is still there to delete its page files. SIGPIPE is ignored: a
// backend that goes away is a failed write, not a silent death that leaves
// page files behind.
#pragma once

#include <atomic>

namespace pclspool::filter {

// Installs the handlers; returns the flag SIGTERM sets.
const std::atomic<bool>* InstallSignalHandlers();

}  // namespace pclspool::filter
