#include "printer-app/job_process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "printer-app/document_conversion.h"
#include "printer-app/job_command.h"
#include "printer-app/job_report.h"
#include "runner/cancel_signal.h"
#include "runner/exit_status.h"
#include "runner/job_runner.h"
#include "runner/write_all.h"

namespace pclspool::app {

namespace {

const std::atomic<bool>* g_cancelled = nullptr;  // set by SIGTERM

void InstallSignals() {
  g_cancelled = runner::InstallSignalHandlers();
  // The server's job thread waits for this process; should the server die
  // instead, the job is cancelled like any other.
  prctl(PR_SET_PDEATHSIG, SIGTERM);
}

void Report(const std::string& line) { runner::WriteAll(kReportFd, line); }

int Refuse(const std::string& reason, const std::string& message) {
  Report(ReasonLine(reason));
  Report(ErrorLine(message));
  return runner::kExitUsage;
}

int RunJob(const JobCommand& command) {
  std::string input = command.input;
  runner::JobTicket ticket = command.ticket;
  if (command.kind != DocumentKind::kAsItIs) {
    std::string error;
    const std::string pdf = command.work_dir + "/document.pdf";
    if (!ConvertToPdf(command, pdf, g_cancelled, &error)) {
      if (g_cancelled->load()) return runner::kExitCancelled;
      return Refuse("document-format-error", error);
    }
    input = pdf;
    ticket.scaling = runner::Scaling::kAuto;  // applied by the conversion
  }

  runner::JobOptions options;
  options.spool_dir = command.work_dir + "/pages";
  if (::mkdir(options.spool_dir.c_str(), 0700) != 0 && errno != EEXIST) {
    Report(ErrorLine("cannot make " + options.spool_dir + ": " + std::strerror(errno)));
    return runner::kExitUsage;
  }
  options.inputs = {input};
  options.ini = command.ini;
  options.job_id = command.job_id;
  options.ticket = ticket;
  options.title = "the document";
  // A document the runner cannot tell is not one the copier takes; one
  // it has told but Ghostscript cannot render is unprintable.
  std::optional<runner::InputKind> kind;
  runner::JobEvents events;
  events.on_kind = [&kind](runner::InputKind k) { kind = k; };
  events.on_error = [](const std::string& line) { Report(ErrorLine(line)); };
  events.on_info = [](const std::string& line) { Report(InfoLine(line)); };
  events.on_progress = [](const runner::JobProgress& p) {
    Report(ProgressLine(p.rendered, p.sent));
  };
  events.on_side = [](uint32_t side, uint32_t copies) { Report(SideLine(side, copies)); };
  const int status = runner::RunPrintJob(options, {STDOUT_FILENO, "the printer", {}}, events,
                                         g_cancelled);
  if (status == runner::kExitUsage) {
    Report(ReasonLine(!kind ? "document-format-error"
                            : runner::IsRendered(*kind) ? "document-unprintable-error"
                                                        : "errors-detected"));
  }
  return status;
}

}  // namespace

int JobProcessMain(int argc, char** argv) {
  InstallSignals();
  std::vector<std::string_view> args(argv + 2, argv + argc);
  JobCommand command;
  std::string error;
  if (!ParseJobCommand(args, &command, &error)) {
    Report(ErrorLine(error));
    return runner::kExitUsage;
  }
  // Whatever the job keeps in temporary files (Ghostscript's, the
  // conversions') goes in its work directory, which the server removes
  // when the job ends, even when this process was killed.
  if (::setenv("TMPDIR", command.work_dir.c_str(), 1) != 0) {
    Report(ErrorLine("cannot set TMPDIR: " + std::string(std::strerror(errno))));
    return runner::kExitUsage;
  }
  const int status = RunJob(command);
  return g_cancelled->load() ? runner::kExitCancelled : status;
}

}  // namespace pclspool::app
