// How a job's message ends: the last progress message ("Rendering page 5,
// 5 sent") gives way to what the job ended as, which clients show until
// the job is gone. And the one cancel PAPPL 1.3.1 loses.
#pragma once

#include <pappl/pappl.h>

namespace pclspool::app {

enum class JobFinish {
  kPrinted,                  // "Completed: 5 sides printed."
  kCancelled,                // cancelled while printing
  kCancelledBeforePrinting,  // cancelled before anything was sent
};

// Sets the job's message (and logs it) for how it ended. A failed job has
// its error as its message already.
void SetFinalMessage(pappl_job_t* job, JobFinish finish);

// PAPPL 1.3.1 starts a job's thread before it marks the job processing. A
// Cancel-Job that comes in between finds the job pending: PAPPL marks it
// canceled and removes its document, and the thread then marks it
// processing again, so that it would end completed, or aborted for the
// lost document. Such a job, already given its completion time and left
// without its document, is cancelled again here, now that it is
// processing, so that PAPPL ends it canceled. True for such a job.
bool CancelledWhileStarting(pappl_job_t* job);

}  // namespace pclspool::app
