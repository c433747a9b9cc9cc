// The signals of a CUPS filter. CUPS cancels a job by sending SIGTERM to
// its filters: the handler only sets a flag, which the job runner checks
// after every read and page, and the job then ends as an aborted one. The
// handler is installed without SA_RESTART, so that a read or write waiting
// when the signal comes returns and the flag is seen at once. SIGPIPE is
// ignored: a backend that goes away is a failed write, not a silent death
// that leaves page files behind.
#pragma once

#include <atomic>

namespace pclspool::filter {

// Installs the handlers; returns the flag SIGTERM sets.
const std::atomic<bool>* InstallSignalHandlers();

}  // namespace pclspool::filter
