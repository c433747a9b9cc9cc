#include "printer-app/printer_turns.h"

namespace pclspool::app {

bool PrinterTurns::Take(int printer_id, int job_id) {
  std::lock_guard<std::mutex> lock(mutex_);
  return jobs_.try_emplace({printer_id, job_id}).second;
}

void PrinterTurns::End(int printer_id, int job_id, JobEnd end) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    jobs_[{printer_id, job_id}] = std::move(end);
  }
  ended_.notify_all();
}

JobEnd PrinterTurns::WaitForEnd(int printer_id, int job_id) {
  std::unique_lock<std::mutex> lock(mutex_);
  const std::optional<JobEnd>& end = jobs_[{printer_id, job_id}];
  ended_.wait(lock, [&end] { return end.has_value(); });
  return *end;
}

bool PrinterTurns::Taken(int printer_id, int job_id) {
  std::lock_guard<std::mutex> lock(mutex_);
  return jobs_.count({printer_id, job_id}) > 0;
}

std::timed_mutex& PrinterTurns::Printer(int printer_id) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::unique_ptr<std::timed_mutex>& m = printers_[printer_id];
  if (!m) m = std::make_unique<std::timed_mutex>();
  return *m;
}

}  // namespace pclspool::app
