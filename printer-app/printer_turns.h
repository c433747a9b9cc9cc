// One job at a time on a printer, whatever PAPPL does. PAPPL 1.3.1 reads
// "is the printer busy" outside its lock when it looks for the next job to
// start, so when a job ends and another arrives at the same moment it can
// start two jobs on one printer (and, rarely, one job twice). The printer's
// jobs therefore take turns here: a job waits until the one before it has
// printed, and a job already in hand is not printed again.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

namespace pclspool::app {

class PrinterTurns {
 public:
  // Marks the job as in hand; false when it was already (a second start of
  // the same job).
  bool Take(int printer_id, int job_id);

  // The printer's lock, which a job holds while it prints.
  std::timed_mutex& Printer(int printer_id);

 private:
  std::mutex mutex_;
  std::map<int, std::unique_ptr<std::timed_mutex>> printers_;
  std::set<std::pair<int, int>> jobs_;
};

}  // namespace pclspool::app
