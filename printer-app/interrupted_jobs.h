// Jobs that were printing when the server was killed: at the next start
// each is aborted (job-state aborted, aborted-by-system), not printed
// again, and the queue goes on with the next. PAPPL would reload such a
// job as still processing and never finish it; so before PAPPL reads its
// state file, the file's line for the job is changed, its document is
// deleted, and the job's directory (with any page files) goes.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "printer-app/job_work_dir.h"

namespace pclspool::app {

// Rewrites the state file: every job that is processing there, or whose
// directory is listed in `leftovers`, becomes aborted at `now`. Returns
// the jobs aborted; the file is left as it was when it cannot be read or
// holds none.
std::vector<JobKey> AbortInterruptedJobs(const std::string& state_file,
                                         const std::vector<JobKey>& leftovers, std::time_t now);

}  // namespace pclspool::app
