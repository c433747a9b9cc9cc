// What a CUPS job asks of the copier: the job's number, its document, and
// the job ticket that CUPS's options and the queue's PPD make of it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runner/job_ticket.h"

namespace pclspool::filter {

struct JobRequest {
  uint32_t job_id = 0;
  std::string title;  // the job's name (argv[3]), for messages
  std::string input;  // the document's file; empty: standard input
  runner::JobTicket ticket;
  // The options asked for that the copier does not apply, one INFO line
  // each.
  std::vector<std::string> not_applied;
};

}  // namespace pclspool::filter
