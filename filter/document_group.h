// The documents of a CUPS job that one run of the filter prints together.
//
// cupsd runs a local queue's filters once for each document of a job, each
// time with the job's copies: on its own, the filter can only print
// A A B B. For collated copies of several documents (A B A B, IPP's
// separate-documents-collated-copies) the run for the job's first
// document prints them all, as one job of several inputs, and the runs for
// the others print nothing. That road needs every document as a file the
// filter can read: cupsd names the spool files d<job>-<n>, hands the first
// filter of each document its file, and holds a job until its last
// document has come. It is taken only when every document of the job is
// PDF or PostScript (those reach this filter as they are; a text or an
// image goes through CUPS's own filter first and arrives on standard
// input); the job's banner pages print on their own either way.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runner/job_ticket.h"

namespace pclspool::filter {

struct DocumentGroup {
  std::vector<std::string> inputs;  // what this run prints; none: printed by another run
  std::string note;                 // an INFO line, or empty
};

// For the job `job_id` whose document this run got as `input` (empty:
// standard input).
DocumentGroup GroupDocuments(uint32_t job_id, const std::string& input,
                             const runner::JobTicket& ticket);

}  // namespace pclspool::filter
