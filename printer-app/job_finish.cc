#include "printer-app/job_finish.h"

#include <string>

namespace pclspool::app {

void SetFinalMessage(pappl_job_t* job, JobFinish finish) {
  std::string text;
  switch (finish) {
    case JobFinish::kPrinted: {
      const int sides = papplJobGetImpressionsCompleted(job);
      // Appended piece by piece (GCC bug 105329 at -O3, as elsewhere).
      text.append("Completed: ").append(std::to_string(sides));
      text.append(sides == 1 ? " side printed." : " sides printed.");
      break;
    }
    case JobFinish::kCancelled:
      text = "Cancelled: nothing more was sent to the printer.";
      break;
    case JobFinish::kCancelledBeforePrinting:
      text = "Cancelled before printing.";
      break;
  }
  papplJobSetMessage(job, "%s", text.c_str());
  papplLogJob(job, PAPPL_LOGLEVEL_INFO, "%s", text.c_str());
}

bool CancelledWhileStarting(pappl_job_t* job) {
  if (papplJobGetFilename(job) || papplJobGetTimeCompleted(job) == 0) return false;
  papplJobCancel(job);
  return true;
}

}  // namespace pclspool::app
