// Reads what a CUPS job asks for: the filter's command line, CUPS's
// convention
//
//   FILTER job-id user title copies options [file]
//
// and the queue's PPD, with the job's options marked on it (libcups), so
// that the queue's defaults stand where the job names nothing and the
// standard options (media, sides, multiple-document-handling, collate) reach
// the PPD's choices as CUPS maps them.
#pragma once

#include <string>

#include "filter/job_request.h"

namespace pclspool::filter {

// Fills *out. False with *error, one line saying
// what is wrong and where, when an argument, an option or the PPD cannot be
// used.
bool ReadJobRequest(int argc, const char* const* argv, const std::string& ppd_path, JobRequest* out,
                    std::string* error);

}  // namespace pclspool::filter
