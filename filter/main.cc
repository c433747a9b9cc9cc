// pclspool-filter: the CUPS filter of a pclspool queue.
//
//   pclspool-filter job-id user title copies options [file]
//
// argv[0] is the queue's name. The document (the file, or standard input)
// goes through the job runner, which plays the spooler's hooks for it, and
// the printer stream goes to standard output. Messages go to standard error
// with CUPS's prefixes: ERROR: (the job failed, and why), INFO: (what is
// printed), PAGE: (one line for each printed side, with its copies).
// Exit status: 0 printed or cancelled, 1 failed.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "filter/document_group.h"
#include "filter/request_reader.h"
#include "runner/cancel_signal.h"
#include "runner/job_runner.h"
#include "runner/write_all.h"

namespace pclspool::filter {
namespace {

constexpr int kFailed = 1;

// The administrator's settings file, under CUPS's server root, never a
// path a job can name.
constexpr char kDefaultServerRoot[] = "/etc/cups";
constexpr char kSettingsFile[] = "/pclspool/OrvWater.INI";
// An empty profile: what the job runs with when there is no settings file.
constexpr char kNoSettings[] = "/dev/null";

// One line, whatever the message quotes: cupsd acts on every line a filter
// writes ("PAGE:", "ATTR:", "PPD:"), and a job's option values come from
// any client of a shared queue.
void Message(std::string line) {
  for (char& c : line) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  runner::WriteAll(STDERR_FILENO, line + "\n");
}

int Fail(const std::string& reason) {
  Message("ERROR: " + reason);
  return kFailed;
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Documents CUPS turns into PDF with imagetopdf, which places the image
// on the page and makes the copies itself.
bool PlacedByImagetopdf(const std::string& content_type) {
  if (content_type.rfind("image/", 0) != 0) return false;
  for (const char* vector : {"image/svg", "image/svg+xml", "image/wmf", "image/x-wmf", "image/emf",
                             "image/x-emf", "image/cgm", "image/x-cmx", "image/pwg-raster",
                             "image/urf"}) {
    if (content_type == vector) return false;
  }
  return true;
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int Run(int argc, const char* const* argv) {
  const std::atomic<bool>* cancel = runner::InstallSignalHandlers();

  std::string error;
  JobRequest request;
  if (!ReadJobRequest(argc, argv, Env("PPD"), &request, &error)) return Fail(error);

  const std::string root = Env("CUPS_SERVERROOT");
  const std::string ini = (root.empty() ? kDefaultServerRoot : root) + kSettingsFile;
  const std::string settings = IsRegularFile(ini) ? ini : kNoSettings;
  if (request.ticket.watermark != 0 && settings != ini) {
    // Printed without it, the job would look like what it is not.
    return Fail("watermark=" + std::to_string(request.ticket.watermark) + ": " + ini +
                " does not exist");
  }

  runner::JobTicket& ticket = request.ticket;
  if (Env("CUPS_FILETYPE") == "job-sheet") {
    // A banner page (bannertopdf's PDF) is a sheet of its own: one copy,
    // one page to a side, whatever the job asks of its documents.
    const runner::JobTicket job = ticket;
    ticket = runner::JobTicket{};
    ticket.paper = job.paper;
    ticket.watermark = job.watermark;
  } else if (PlacedByImagetopdf(Env("CONTENT_TYPE"))) {
    // The image is placed on its page as print-scaling asks, and the
    // copies are in the document already, one page each.
    ticket.scaling = runner::Scaling::kAuto;
    if (ticket.copies > 1) {
      Message("INFO: " + std::to_string(ticket.copies) + " copies made by imagetopdf");
      ticket.copies = 1;
    }
  }
  for (const std::string& line : request.not_applied) Message("INFO: " + line);

  const DocumentGroup group = GroupDocuments(request.job_id, request.input, ticket);
  if (!group.note.empty()) Message("INFO: " + group.note);
  if (!request.input.empty() && group.inputs.empty()) return 0;  // printed by another run

  runner::JobOptions options;
  options.inputs = group.inputs;
  options.ini = settings;
  options.job_id = request.job_id;
  options.ticket = ticket;
  // Messages name the document by the job's title, not CUPS's spool file.
  if (options.inputs.size() <= 1) options.title = request.title;
  runner::JobEvents events;
  events.on_error = [](const std::string& line) { Message("ERROR: " + line); };
  events.on_info = [](const std::string& line) { Message("INFO: " + line); };
  events.on_side = [](uint32_t side, uint32_t copies) {
    Message("PAGE: " + std::to_string(side) + " " + std::to_string(copies));
  };
  const int status =
      runner::RunPrintJob(options, {STDOUT_FILENO, "standard output", {}}, events, cancel);
  if (status == runner::kExitCancelled) {
    Message("INFO: Job cancelled");
    return 0;
  }
  return status == runner::kExitOk ? 0 : kFailed;
}

}  // namespace
}  // namespace pclspool::filter

int main(int argc, char** argv) { return pclspool::filter::Run(argc, argv); }
