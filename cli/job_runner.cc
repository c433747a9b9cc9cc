#include "job_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>

#include "cancel_gate.h"
#include "hook_player.h"
#include "input_files.h"
#include "job/job_context.h"
#include "job/settings.h"
#include "job_inputs.h"
#include "page_file_guard.h"
#include "pclspool/pclspool.h"
#include "platform/posix/posix_platform.h"
#include "platform_setup.h"
#include "progress_line.h"
#include "render_job.h"
#include "render_plan.h"
#include "report.h"
#include "spool_dir.h"
#include "stop_signals.h"

namespace pclspool::cli {

namespace {

// Kept equal to the project version in CMakeLists.txt.
constexpr char kVersion[] = "0.1.0";

// Everything that can be refused is checked before the job starts: the
// inputs, the files the options name, and the job's device mode.
bool CheckOptions(const PrintOptions& o, posix::PrinterSetup* setup) {
  std::string error;
  for (const std::string& input : o.inputs) {
    if (input != "-" && !CheckReadable(input, &error)) {
      Report(error);
      return false;
    }
  }
  if (!o.output.empty() && OutputIsAnInput(o)) {
    // Opening the output truncates it: the job would be lost unread.
    Report("-o " + o.output + ": is also an input");
    return false;
  }
  if (!o.ini.empty() && !CheckReadable(o.ini, &error)) {
    Report("--ini " + error);
    return false;
  }
  for (const auto& [face, file] : o.fonts) {
    if (!CheckReadable(file, &error)) {
      Report("--font " + error);
      return false;
    }
  }
  if (!o.devmode.empty() && !LoadDevmode(o.devmode, &setup->job_devmode, &error)) {
    Report("--devmode " + error);
    return false;
  }
  if (o.watermark) {
    const std::size_t at = sizeof(DEVMODEW) + extra::kWaterIdx;
    setup->job_devmode[at] = static_cast<uint8_t>(*o.watermark);
    setup->job_devmode[at + 1] = static_cast<uint8_t>(*o.watermark >> 8);
  }
  return true;
}

// What the command knows of the job before it starts: its inputs, and for
// PDF and PostScript where their pages go. False (reported) on bad usage.
bool PrepareJob(const PrintOptions& o, const posix::PrinterSetup& setup, JobInputs* inputs,
                RenderPlan* plan) {
  std::string error;
  if (!o.page_files && !ClassifyInputs(o.inputs, inputs, &error)) {
    Report(error);
    return false;
  }
  const bool rendered = !o.page_files && IsRendered(inputs->kind);
  if (!o.page_ranges.empty() && !rendered) {
    Report("--page-ranges: only PDF and PostScript pages can be chosen");
    return false;
  }
  if (!o.page_ranges.empty() && inputs->paths.size() > 1) {
    Report("--page-ranges: chooses the pages of a single input, not of " +
           std::to_string(inputs->paths.size()));
    return false;
  }
  if (rendered && !PlanRendering(EffectiveSettings(setup), plan, &error)) {
    Report(error);
    return false;
  }
  return true;
}

// Renders the PDF and PostScript inputs on the hooks; returns the exit
// status so far.
int RenderJob(const PrintOptions& o, const JobInputs& inputs, const RenderPlan& plan,
              HookPlayer& player, const std::atomic<bool>* cancel) {
  RenderRequest request;
  request.ghostscript = o.ghostscript;
  request.page_list = o.page_ranges;
  request.cancel = cancel;
  // Trace lines would break into the progress line.
  request.progress = !o.trace && StderrIsTerminal();
  bool stdin_given = false;
  for (std::size_t i = 0; i < inputs.paths.size(); ++i) {
    if (inputs.kinds[i] == InputKind::kEmpty) continue;
    const bool is_stdin = inputs.paths[i] == "-";
    request.inputs.push_back({inputs.paths[i], is_stdin && !stdin_given ? inputs.stdin_head : ""});
    stdin_given = stdin_given || is_stdin;
  }
  const RenderOutcome outcome = RenderInputs(request, plan, player);
  player.Finish();
  switch (outcome.kind) {
    case RenderOutcome::Kind::kDone:
    case RenderOutcome::Kind::kPrinterFailed:  // reported when the output is flushed
      return kExitOk;
    case RenderOutcome::Kind::kCancelled:
      return kExitCancelled;
    case RenderOutcome::Kind::kFailed:
      break;
  }
  Report(outcome.message);
  return kExitUsage;
}

}  // namespace

int RunPrintJob(const PrintOptions& o, const std::atomic<bool>* cancel) {
  SetReportPrefix(o.report_prefix);
  posix::PrinterSetup setup = DriverPrinterSetup();
  if (!CheckOptions(o, &setup)) return kExitUsage;

  std::string error;
  SpoolDir spool;
  if (!spool.Use(o.spool_dir, &error)) {
    Report(error);
    return kExitUsage;
  }
  ConfigurePlatform(o, spool.path());
  JobInputs inputs;
  RenderPlan plan;
  if (!PrepareJob(o, setup, &inputs, &plan)) return kExitUsage;
  const bool rendered = !o.page_files && IsRendered(inputs.kind);
  const bool stored = StoresPages(EffectiveSettings(setup));

  int out = STDOUT_FILENO;
  if (!o.output.empty()) {
    out = ::open(o.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
      Report("-o " + o.output + ": " + Reason(errno));
      return kExitUsage;
    }
  }

  const HANDLE printer = reinterpret_cast<HANDLE>(o.printer_handle);
  setup.fd = out;
  // Replayed copies come in blocks of 8192 bytes; gathered, they reach the
  // output in writes of 256 KiB.
  setup.buffer_bytes = 256 * 1024;
  posix::PosixPlatform& px = posix::Posix();
  if (!px.spooler.AddPrinter(printer, setup)) {
    Report("the printer could not be set up: out of memory");
    if (out != STDOUT_FILENO) ::close(out);
    return kExitNoResources;
  }

  // The POSIX services, with the page files watched; a job that can be
  // cancelled goes through the gate that the cancel shuts. (Only such a
  // job: the gate is one call more on the path of every stream buffer.)
  PageFileGuard guard(px.files);
  OutputGate gate(cancel);
  GatedFiles files(guard, gate);
  GatedSpooler spooler(px.spooler, gate);
  platform::Platform services = px.services;
  services.files = &guard;
  platform::Platform gated = services;
  gated.files = &files;
  gated.spooler = &spooler;
  platform::Install(cancel ? &gated : &services);

  int status = kExitOk;
  void* job = DrvSplStartDoc(printer, o.job_id);
  if (!job) {
    Report("the job could not be started: out of memory");
    status = kExitNoResources;
  } else {
    HookPlayer player(job, printer, guard, o);
    status = rendered ? RenderJob(o, inputs, plan, player, cancel)
                      : PlayInputs(o, inputs, player, printer, cancel);
    if (status != kExitOk) {
      DrvSplAbort(job);
      // A stored job that did not complete prints nothing at all: its
      // replay goes nowhere, and its page files are still deleted. Nor
      // does a job that failed before its first page close a job on the
      // printer that it never opened.
      if (stored || player.pages() == 0) {
        gate.Shut();
        platform::Install(&gated);
      }
    }
    DrvSplEndDoc(job);
    DrvSplClose(job);
    // A cancel after the last page, or during the replay of stored pages,
    // has cut the job short all the same.
    if (IsCancelled(cancel)) status = kExitCancelled;
  }
  platform::Install(nullptr);

  const std::string out_name = o.output.empty() ? "standard output" : o.output;
  if (!px.spooler.Flush(printer) && status == kExitOk) {
    Report("cannot write the printer output to " + out_name);
    status = kExitWriteFailed;
  }
  if (guard.lost() > 0) {
    // The rest of the job has been printed; the output is incomplete.
    Report(std::to_string(guard.lost()) + (guard.lost() == 1 ? " page" : " pages") +
           " lost: the spool directory could not store " + (guard.lost() == 1 ? "it" : "them"));
    if (status == kExitOk) status = kExitWriteFailed;
  }
  px.spooler.RemovePrinter(printer);
  if (out != STDOUT_FILENO && ::close(out) != 0 && status == kExitOk) {
    Report("cannot write the printer output to " + out_name + ": " + Reason(errno));
    status = kExitWriteFailed;
  }
  return status;
}

int Main(int argc, const char* const* argv) {
  CommandLine line;
  std::string error;
  if (!ParseCommandLine(argc, argv, &line, &error)) {
    Report(error + " (see pclspool --help)");
    return kExitUsage;
  }
  switch (line.command) {
    case Command::kHelp:
      return posix::WriteAll(STDOUT_FILENO, kUsage, std::strlen(kUsage)) ? kExitOk
                                                                          : kExitWriteFailed;
    case Command::kVersion: {
      const std::string text = std::string("pclspool ") + kVersion + "\n";
      return posix::WriteAll(STDOUT_FILENO, text.data(), text.size()) ? kExitOk
                                                                       : kExitWriteFailed;
    }
    case Command::kPrint:
      break;
  }
  // A reader that goes away, or a file that reaches the size limit, is a
  // write error like any other, not a signal that ends the run before the
  // page files are deleted.
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
  CatchStopSignals();
  const int status = RunPrintJob(line.print, StopFlag());
  // Stopped by a signal: the job has ended cleanly; now the signal does
  // what it would have done, so that the caller sees it.
  RaiseStopSignal();
  return status;
}

}  // namespace pclspool::cli
