#include "cli/command.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "cli/command_line.h"
#include "cli/progress_line.h"
#include "cli/stop_signals.h"
#include "runner/job_runner.h"
#include "runner/write_all.h"

namespace pclspool::cli {

namespace {

void Report(const std::string& message) {
  runner::WriteAll(STDERR_FILENO, "pclspool: " + message + "\n");
}

bool WriteStdout(const std::string& text) { return runner::WriteAll(STDOUT_FILENO, text); }

// Whether -o names an existing file that is also read as input (standard
// input included): opening it would truncate the job unread.
bool OutputIsAnInput(const CommandLine& line) {
  struct stat out {};
  if (::stat(line.output.c_str(), &out) != 0 || !S_ISREG(out.st_mode)) return false;
  const auto same = [&](const struct stat& in) {
    return in.st_dev == out.st_dev && in.st_ino == out.st_ino;
  };
  struct stat in {};
  const auto& inputs = line.job.inputs;
  if (inputs.empty() && ::fstat(STDIN_FILENO, &in) == 0 && same(in)) return true;
  for (const std::string& input : inputs) {
    const bool ok =
        input == "-" ? ::fstat(STDIN_FILENO, &in) == 0 : ::stat(input.c_str(), &in) == 0;
    if (ok && same(in)) return true;
  }
  return false;
}

// Runs the print job of the command line, its output on standard output
// or in the file -o names.
int Print(const CommandLine& line) {
  runner::JobOutput output{STDOUT_FILENO, "standard output", {}};
  int file = -1;
  if (!line.output.empty()) {
    if (OutputIsAnInput(line)) {
      Report("-o " + line.output + ": is also an input");
      return runner::kExitUsage;
    }
    output = {-1, line.output, [&line, &file](std::string* error) {
                file = ::open(line.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
                if (file < 0) *error = "-o " + line.output + ": " + std::strerror(errno);
                return file;
              }};
  }

  // Trace lines would break into the progress line.
  ProgressLine progress(!line.job.trace && StderrIsTerminal());
  runner::JobEvents events;
  events.on_error = [&progress](const std::string& message) {
    progress.Close();
    Report(message);
  };
  events.on_left_out = events.on_error;
  events.on_progress = [&progress](const runner::JobProgress& p) {
    progress.Show(p.document, p.rendered, p.sent);
  };
  int status = runner::RunPrintJob(line.job, output, events, StopFlag());
  progress.Close();
  if (file >= 0 && ::close(file) != 0 && status == runner::kExitOk) {
    Report("cannot write the printer output to " + output.name + ": " + std::strerror(errno));
    status = runner::kExitWriteFailed;
  }
  return status;
}

}  // namespace

int Main(int argc, const char* const* argv) {
  CommandLine line;
  std::string error;
  if (!ParseCommandLine(argc, argv, &line, &error)) {
    Report(error + " (see pclspool --help)");
    return runner::kExitUsage;
  }
  switch (line.command) {
    case Command::kHelp: return WriteStdout(Usage()) ? runner::kExitOk : runner::kExitWriteFailed;
    case Command::kVersion:
      return WriteStdout(std::string("pclspool ") + runner::Version() + "\n")
                 ? runner::kExitOk
                 : runner::kExitWriteFailed;
    case Command::kPrint: break;
  }
  // A reader that goes away, or a file that reaches the size limit, is a
  // write error like any other, not a signal that ends the run before the
  // page files are deleted.
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
  CatchStopSignals();
  const int status = Print(line);
  // Stopped by a signal: the job has ended cleanly; now the signal does
  // what it would have done, so that the caller sees it.
  RaiseStopSignal();
  return status;
}

}  // namespace pclspool::cli
