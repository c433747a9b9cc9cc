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
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "cancel_signal.h"
#include "document_kind.h"
#include "job_runner.h"
#include "page_accounting.h"
#include "platform/posix/posix_platform.h"
#include "print_mapping.h"
#include "request_reader.h"
#include "watermark/watermark_definition.h"

namespace pclspool::filter {
namespace {

constexpr int kFailed = 1;

// The administrator's settings file, under CUPS's server root, never a
// path a job can name.
constexpr char kDefaultServerRoot[] = "/etc/cups";
constexpr char kSettingsFile[] = "/pclspool/OrvWater.INI";
// An empty profile: what the job runs with when there is no settings file.
constexpr char kNoSettings[] = "/dev/null";

void Message(const std::string& line) {
  const std::string text = line + "\n";
  posix::WriteAll(STDERR_FILENO, text.data(), text.size());
}

int Fail(const std::string& reason) {
  Message("ERROR: " + reason);
  return kFailed;
}

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The document's kind: a file is looked into, standard input goes by the
// type CUPS names.
bool DetectKind(JobRequest* r, std::string* error) {
  if (!r->input.empty()) {
    const int fd = ::open(r->input.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      *error = r->input + ": cannot be read";
      return false;
    }
    uint8_t head[kKindProbeBytes];
    const ssize_t n = ::read(fd, head, sizeof(head));
    ::close(fd);
    r->kind = KindOfContent(head, n > 0 ? static_cast<std::size_t>(n) : 0);
    return true;
  }
  const std::string type = Env("CONTENT_TYPE");
  if (type.empty()) {
    *error = "standard input of unknown type: name the file, or set CONTENT_TYPE";
    return false;
  }
  const auto kind = KindOfContentType(type);
  if (!kind) {
    *error = "documents of type " + type + " are not taken: PDF, PostScript or PCL only";
    return false;
  }
  r->kind = *kind;
  return true;
}

// Whether the INI file has the job's watermark text, found as the module
// will find it at the first page.
bool HasWatermarkText(const std::string& ini, uint16_t number) {
  posix::Posix().profile.SetFilePath(ini);
  return SelectWatermarkText(number) != nullptr;
}

void WritePageLine(uint32_t side, uint32_t copies) {
  Message("PAGE: " + std::to_string(side) + " " + std::to_string(copies));
}

std::string Describe(const JobRequest& r, const SheetPlan& plan) {
  std::string d = "Printing";
  if (r.copies > 1) {
    d += " " + std::to_string(r.copies) +
         (PlanCopies(r).collated > 1 ? " collated" : " uncollated") + " copies";
  }
  if (plan.booklet) {
    d += " as a booklet";
  } else if (plan.pages_per_side > 1) {
    d += ", " + std::to_string(plan.pages_per_side) + " pages a side";
  }
  if (r.watermark) d += ", watermark " + std::to_string(r.watermark);
  return d;
}

int Run(int argc, const char* const* argv) {
  const std::atomic<bool>* cancel = InstallSignalHandlers();

  std::string error;
  JobRequest request;
  if (!ReadJobRequest(argc, argv, Env("PPD"), &request, &error)) return Fail(error);
  if (!DetectKind(&request, &error)) return Fail(error);
  if (!PlacesPages(request) &&
      (request.number_up != 1 || request.booklet || !request.page_ranges.empty())) {
    Message("INFO: A PCL job prints as it is: one page to a side, all its pages, in its order");
  }

  const std::string root = Env("CUPS_SERVERROOT");
  const std::string ini = (root.empty() ? kDefaultServerRoot : root) + kSettingsFile;
  const std::string settings = IsRegularFile(ini) ? ini : kNoSettings;
  if (request.watermark != 0 && !HasWatermarkText(settings, request.watermark)) {
    return Fail("Watermark " + std::to_string(request.watermark) + ": " + ini +
                (settings == ini ? " has no such text" : " does not exist"));
  }

  cli::PrintOptions options = MapRequest(request, settings);
  options.report_prefix = "ERROR: ";
  const SheetPlan plan = PlanSheets(request);
  uint32_t pages = 0;
  options.on_page_end = [&pages, &plan, cancel](uint32_t page) {
    // A page the cancel cut short is not printed.
    if (cancel->load()) return;
    pages = page;
    if (const auto line = SideEndedBy(page, plan)) WritePageLine(line->side, line->copies);
  };

  Message("INFO: " + Describe(request, plan));
  const int status = cli::RunPrintJob(options, cancel);
  if (status == cli::kExitCancelled) {
    Message("INFO: Job cancelled");
    return 0;
  }
  if (status != cli::kExitOk) return kFailed;
  const SideRange rest = SidesAtEnd(pages, plan);
  for (uint32_t side = rest.first; side <= rest.last && side != 0; ++side) {
    WritePageLine(side, rest.copies);
  }
  return 0;
}

}  // namespace
}  // namespace pclspool::filter

int main(int argc, char** argv) { return pclspool::filter::Run(argc, argv); }
