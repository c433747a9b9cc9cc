// The job runner: plays one print job through the module's seven hooks, as
// a print spooler calls them, on the POSIX platform. A PCL job's stream
// goes through page by page; PDF and PostScript are rendered by Ghostscript
// into the cells of the job's sheets first. The printer is the output
// descriptor the front end gives.
//
// Every front end is a thin shell around RunPrintJob: the command
// (`pclspool print`), the CUPS filter and the printer application. What a
// front end needs to know of the module (the settings file's watermark
// texts, the version) the runner offers here, so that no front end
// includes the module's own headers.
//
// Process-wide state: the platform the module runs on (its installed
// services), the settings file and its [SETTING] overrides, the font map,
// the spool directory and the trace switch all belong to the process, and
// the module's scratch buffers are shared by its jobs. So a process runs
// one job at a time; a front end that runs jobs concurrently runs each in a
// process of its own.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runner/exit_status.h"
#include "runner/job_events.h"
#include "runner/job_options.h"

namespace pclspool::runner {

// Where the printer stream goes: a descriptor open for writing, which the
// runner neither closes nor seeks, and its name for messages. A front end
// that makes the output for the job (a file it truncates) gives `open`
// instead of a descriptor: the runner calls it once the job has passed
// every check, so that a job refused leaves the file as it was.
struct JobOutput {
  int fd = -1;
  std::string name;  // "standard output", a file's name, a device's URI
  // Returns the descriptor, or -1 with *error set (one line).
  std::function<int(std::string* error)> open;
};

// Runs the job; every failure is reported through events.on_error in one
// line. Returns the exit status (exit_status.h). `cancel`, when given, may
// be set from another thread or a signal handler at any time: no more
// pages are fed, the job is aborted and ended, nothing more reaches the
// printer, and the status is kExitCancelled.
int RunPrintJob(const JobOptions& options, const JobOutput& output, const JobEvents& events,
                const std::atomic<bool>* cancel = nullptr);

// The watermark texts of the settings file at `ini` (the keys of its
// [StringSummary], text 1 first), in UTF-8, as the module finds them.
std::vector<std::string> WatermarkTexts(const std::string& ini);

// pclspool's version, "0.1.0".
const char* Version();

}  // namespace pclspool::runner
