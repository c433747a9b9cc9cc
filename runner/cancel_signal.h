// The signals of a job's process that a front end cancels by SIGTERM: CUPS
// its filters, the printer application a job's process. The handler sets a
// flag, which the job runner checks after every read and page, and the job
// then ends as a cancelled one. The handler
// also puts /dev/null in the place of standard output: a write that waits
// for the printer (a full pipe, a stalled device) is interrupted (the
// handler is installed without SA_RESTART), and when it is tried again it
// goes nowhere, so the filter cannot hang on the printer once cancelled
// and is still there to delete its page files. SIGPIPE is ignored: a
// reader that goes away (a backend, the server) is a failed write, not a
// silent death that leaves page files behind.
#pragma once

#include <atomic>

namespace pclspool::runner {

// Installs the handlers; returns the flag SIGTERM sets.
const std::atomic<bool>* InstallSignalHandlers();

}  // namespace pclspool::runner
