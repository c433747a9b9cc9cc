// The command line of a job process: the server runs every job in a process
// of its own, its own program started again as
//
//   pclspool-printer-app job-process --kind=pdf --input=FILE --ini=FILE
//       --work-dir=DIR --job-id=N --ticket="copies=2 number-up=4 ..."
//
// with the printer stream on standard output and its report (job_report.h)
// on descriptor 3. The job's ticket is written and read by the catalogue
// (runner::WriteTicket, runner::ReadTicket), already checked and with the
// printer's defaults in place; a value that does not read here is a fault
// of the server, not of the job.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "runner/job_ticket.h"

namespace pclspool::app {

// The sub-command, which usage never shows.
inline constexpr std::string_view kJobProcessCommand = "job-process";

// The descriptor the report goes to.
inline constexpr int kReportFd = 3;

// What becomes of the document before the runner tells its kind by its
// content: raster (PWG or Apple raster the server has written out as PWG
// raster) and images are made PDF first; anything else goes as it is.
enum class DocumentKind { kAsItIs, kRaster, kImage };

struct JobCommand {
  DocumentKind kind = DocumentKind::kAsItIs;
  std::string input;     // the document's file
  std::string ini;       // the settings file the job reads
  std::string work_dir;  // the job's own directory: page files, converted documents
  uint32_t job_id = 1;
  runner::JobTicket ticket;
};

// The arguments after the sub-command.
std::vector<std::string> JobCommandArgs(const JobCommand& command);

// Reads them back; false with *error naming the argument.
bool ParseJobCommand(const std::vector<std::string_view>& args, JobCommand* command,
                     std::string* error);

// What becomes of a document of this MIME type (the job's
// document-format).
DocumentKind KindOfFormat(std::string_view mime_type);

}  // namespace pclspool::app
