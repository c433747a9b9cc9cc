#include "printer-app/document_conversion.h"

#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "process/child_process.h"
#include "printer-app/copier_media.h"
#include "runner/job_catalogue.h"

namespace pclspool::app {

namespace {

// Where cups-filters keeps its programs (cups-config --serverbin).
#ifndef PCLSPOOL_CUPS_FILTER_DIR
#define PCLSPOOL_CUPS_FILTER_DIR "/usr/lib/cups/filter"
#endif

constexpr int kPollMs = 20;
constexpr int kGraceMs = 2000;

// The program's ERROR: lines, without the prefix, or its last line.
std::string ErrorLines(const std::string& log) {
  std::ifstream in(log);
  std::string line;
  std::string errors;
  std::string last;
  while (std::getline(in, line)) {
    if (line.rfind("ERROR: ", 0) == 0) errors += (errors.empty() ? "" : "; ") + line.substr(7);
    if (!line.empty()) last = line;
  }
  return errors.empty() ? last : errors;
}

}  // namespace

bool ConvertToPdf(const JobCommand& command, const std::string& pdf,
                  const std::atomic<bool>* cancel, std::string* error) {
  const bool raster = command.kind == DocumentKind::kRaster;
  const std::string program =
      std::string(PCLSPOOL_CUPS_FILTER_DIR) + (raster ? "/rastertopdf" : "/imagetopdf");
  // CUPS's filter convention: job-id user title copies options file.
  std::string options;
  if (!raster) {
    const bool landscape = runner::IsLandscape(command.ticket.orientation);
    options = "media=" + MediaOfPaper(command.ticket.paper) + " print-scaling=" +
              runner::FindJobOption("print-scaling")->write(command.ticket) +
              (landscape ? " landscape=true" : "");
  }
  const std::string log = command.work_dir + "/conversion.log";
  const int out = ::open(pdf.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const int err = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (out < 0 || err < 0) {
    if (out >= 0) ::close(out);
    if (err >= 0) ::close(err);
    *error = "cannot write in the job's directory " + command.work_dir;
    return false;
  }
  process::ChildStart child;
  child.argv = {program, std::to_string(command.job_id), "ipp", "document", "1", options,
               command.input};
  child.fds = {process::ChildFd::Copy(STDOUT_FILENO, out),
               process::ChildFd::Copy(STDERR_FILENO, err)};
  child.own_group = true;
  const pid_t pid = process::StartChild(child, error);
  ::close(out);
  ::close(err);
  if (pid < 0) return false;
  const process::ChildEnd end = process::WaitChild(
      pid, true, [cancel] { return cancel && cancel->load(); }, kPollMs, kGraceMs);
  if (cancel && cancel->load()) {
    *error = "cancelled";
    return false;
  }
  if (end.status != 0) {
    const std::string why = ErrorLines(log);
    *error = (raster ? "the raster document cannot be read" : "the image cannot be read") +
             std::string(why.empty() ? "" : ": " + why) + " (" +
             program.substr(program.rfind('/') + 1) + " " + process::DescribeEnd(end) + ")";
    return false;
  }
  return true;
}

}  // namespace pclspool::app
