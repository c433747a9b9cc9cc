#include "printer-app/printer_turns.h"

namespace pclspool::app {

bool PrinterTurns::Take(int printer_id, int job_id) {
  std::lock_guard<std::mutex> lock(mutex_);
  return jobs_.insert({printer_id, job_id}).second;
}

std::timed_mutex& PrinterTurns::Printer(int printer_id) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::unique_ptr<std::timed_mutex>& m = printers_[printer_id];
  if (!m) m = std::make_unique<std::timed_mutex>();
  return *m;
}

}  // namespace pclspool::app
