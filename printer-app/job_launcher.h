// The server's side of a job process: starts it (the server's own program
// again, job_process.h), passes the printer stream it writes on to the
// device, hands its report lines on, and stops it at once on a cancel:
// from then on nothing it writes reaches the device, and it and whatever
// it started are gone before LaunchJob returns.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "printer-app/job_command.h"
#include "printer-app/job_report.h"

namespace pclspool::app {

struct JobLaunch {
  JobCommand command;
  // Writes the printer stream to the device; false when the device fails.
  std::function<bool(const uint8_t* data, std::size_t size)> write;
  // True once the job is cancelled; asked often.
  std::function<bool()> cancelled;
  std::function<void(const ReportLine& line)> on_report;
};

struct JobOutcome {
  enum class End { kPrinted, kFailed, kCancelled };
  End end = End::kFailed;
  std::string message;  // why it failed, for the job log; empty otherwise
};

JobOutcome LaunchJob(const JobLaunch& launch);

}  // namespace pclspool::app
