// One job at a time on a printer, whatever PAPPL does. PAPPL 1.3.1 reads
// "is the printer busy" outside its lock when it looks for the next job to
// start, so when a job ends and another arrives at the same moment it can
// start two jobs on one printer (and, rarely, one job twice). The printer's
// jobs therefore take turns here: a job waits until the one before it has
// printed, and a job already in hand is not printed again. A second start
// of a job ends the way the first did (PAPPL sets the job processing again
// when it starts it, and would call it completed whatever the first found).
#pragma once

#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

namespace pclspool::app {

// How a job's first start ended.
struct JobEnd {
  bool printed = true;  // else failed, with this message and reasons
  std::string message;
  unsigned reasons = 0;
};

class PrinterTurns {
 public:
  // Marks the job as in hand; false when it was already (a second start of
  // the same job).
  bool Take(int printer_id, int job_id);
  // The end of the job's first start, once Take's caller has one.
  void End(int printer_id, int job_id, JobEnd end);
  // For a second start: waits until the first has ended, and says how.
  JobEnd WaitForEnd(int printer_id, int job_id);
  // Whether the job is in hand (a job PAPPL has started but not handed over
  // is still waiting for its device).
  bool Taken(int printer_id, int job_id);

  // The printer's lock, which a job holds while it prints.
  std::timed_mutex& Printer(int printer_id);

 private:
  std::mutex mutex_;
  std::map<int, std::unique_ptr<std::timed_mutex>> printers_;
  std::condition_variable ended_;
  // Jobs in hand; their end once they have one.
  std::map<std::pair<int, int>, std::optional<JobEnd>> jobs_;
};

}  // namespace pclspool::app
