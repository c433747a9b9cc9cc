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
#include <string>
#include <vector>

#include "printer-app/document_conversion.h"
#include "printer-app/job_command.h"
#include "printer-app/job_report.h"
#include "runner/cancel_signal.h"
#include "runner/exit_status.h"
#include "runner/input_kind.h"
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

// What the document's first bytes say it is.
runner::InputKind Sniff(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return runner::InputKind::kUnknown;
  uint8_t head[runner::kSniffBytes];
  std::size_t size = 0;
  while (size < sizeof(head)) {
    const ssize_t n = ::read(fd, head + size, sizeof(head) - size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    size += static_cast<std::size_t>(n);
  }
  ::close(fd);
  return runner::SniffInput(head, size);
}

int RunJob(const JobCommand& command) {
  std::string input = command.input;
  if (command.kind == DocumentKind::kRaster || command.kind == DocumentKind::kImage) {
    std::string error;
    const std::string pdf = command.work_dir + "/document.pdf";
    if (!ConvertToPdf(command, pdf, g_cancelled, &error)) {
      if (g_cancelled->load()) return runner::kExitCancelled;
      return Refuse("document-format-error", error);
    }
    input = pdf;
  }
  const runner::InputKind kind = Sniff(input);
  if (kind == runner::InputKind::kEmpty) {
    return Refuse("document-format-error", "the document is empty");
  }
  if (kind == runner::InputKind::kUnknown) {
    return Refuse("document-format-error",
                  "the document is not PDF, PostScript, PCL, PWG or Apple raster, JPEG or PNG");
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
  options.ticket = command.ticket;
  runner::JobEvents events;
  events.on_error = [](const std::string& line) { Report(ErrorLine(line)); };
  events.on_info = [](const std::string& line) { Report(InfoLine(line)); };
  events.on_progress = [](const runner::JobProgress& p) {
    Report(ProgressLine(p.rendered, p.sent));
  };
  events.on_side = [](uint32_t side, uint32_t copies) { Report(SideLine(side, copies)); };
  const int status = runner::RunPrintJob(options, {STDOUT_FILENO, "the printer", {}}, events,
                                         g_cancelled);
  // Refused after its kind was known: Ghostscript could not render it.
  if (status == runner::kExitUsage && runner::IsRendered(kind)) {
    Report(ReasonLine("document-unprintable-error"));
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
