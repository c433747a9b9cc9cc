#include "printer-app/print_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "printer-app/app_context.h"
#include "printer-app/copier_link.h"
#include "printer-app/ipp_ticket.h"
#include "printer-app/job_finish.h"
#include "printer-app/job_launcher.h"
#include "printer-app/job_work_dir.h"
#include "printer-app/raster_spooling.h"
#include "printer-app/vendor_attributes.h"
#include "runner/job_catalogue.h"
#include "runner/job_runner.h"

namespace pclspool::app {

namespace {

constexpr char kSettingsCopy[] = "/OrvWater.INI";
constexpr char kRasterDocument[] = "/document.pwg";

AppContext& AppOf(pappl_job_t* job) {
  pappl_pr_driver_data_t data;
  papplPrinterGetDriverData(papplJobGetPrinter(job), &data);
  return *static_cast<AppContext*>(data.extension);
}

std::string WorkDirOf(pappl_job_t* job, const AppContext& app) {
  return JobWorkDir(app.jobs_dir,
                    {papplPrinterGetID(papplJobGetPrinter(job)), papplJobGetID(job)});
}

void Fail(pappl_job_t* job, pappl_jreason_t reason, const std::string& message) {
  papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", message.c_str());
  papplJobSetMessage(job, "%s", message.c_str());
  papplJobSetReasons(job, reason | PAPPL_JREASON_ABORTED_BY_SYSTEM, PAPPL_JREASON_NONE);
}

pappl_jreason_t ReasonOf(const std::string& keyword) {
  if (keyword == "document-format-error") return PAPPL_JREASON_DOCUMENT_FORMAT_ERROR;
  if (keyword == "document-unprintable-error") return PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR;
  return PAPPL_JREASON_ERRORS_DETECTED;
}

// The job's copy of the settings file (so that an edit while it prints
// does not change its watermark under it), and its texts' keywords.
bool CopySettings(AppContext& app, const std::string& work_dir, std::string* ini,
                  std::vector<std::string>* keywords, std::string* error) {
  std::lock_guard<std::mutex> lock(app.settings_mutex);
  const std::string from = SettingsFileToRead(app);
  *ini = from;
  if (from == app.settings_file) {
    *ini = work_dir + kSettingsCopy;
    std::error_code ec;
    std::filesystem::copy_file(from, *ini, ec);
    if (ec) {
      *error = "cannot copy the settings file " + from + ": " + ec.message();
      return false;
    }
  }
  *keywords = runner::WatermarkKeywords(runner::WatermarkTexts(*ini));
  return true;
}

// The job's ticket, from PAPPL's print options and the job's and the
// printer's attributes.
bool MakeTicket(pappl_job_t* job, const std::vector<std::string>& keywords, JobCommand* command,
                std::string* error) {
  pappl_pr_options_t* options = papplJobCreatePrintOptions(job, 0, false);
  if (!options) {
    *error = "out of memory";
    return false;
  }
  ipp_t* defaults = papplPrinterGetDriverAttributes(papplJobGetPrinter(job));
  JobAttributes a;
  a.copies = options->copies;
  a.media = options->media.size_name;
  a.orientation = options->orientation_requested;
  a.sides = options->sides;
  a.scaling = options->print_scaling;
  a.job = [job](const char* name) { return papplJobGetAttribute(job, name); };
  a.printer_default = [defaults](const char* name) {
    return ippFindAttribute(defaults, (std::string(name) + "-default").c_str(), IPP_TAG_ZERO);
  };
  const bool ok = ReadJobTicket(a, keywords, &command->ticket, error);
  ippDelete(defaults);
  papplJobDeletePrintOptions(options);
  return ok;
}

void OnReport(pappl_job_t* job, const ReportLine& line, std::string* reason, CopierLink& link) {
  switch (line.kind) {
    case ReportLine::Kind::kSide:
      papplJobSetImpressionsCompleted(job, static_cast<int>(line.second));
      break;
    case ReportLine::Kind::kError:
      papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "%s", line.text.c_str());
      papplJobSetMessage(job, "%s", line.text.c_str());
      break;
    case ReportLine::Kind::kInfo:
      papplLogJob(job, PAPPL_LOGLEVEL_INFO, "%s", line.text.c_str());
      papplJobSetMessage(job, "%s", line.text.c_str());
      break;
    case ReportLine::Kind::kProgress:
      link.Progress("Rendering page " + std::to_string(line.first) + ", " + std::to_string(line.second) +
                    " sent");
      break;
    case ReportLine::Kind::kReason:
      *reason = line.text;
      break;
    case ReportLine::Kind::kUnknown:
      papplLogJob(job, PAPPL_LOGLEVEL_WARN, "job process: %s", line.text.c_str());
      break;
  }
}

// The job's turn on its printer (printer_turns.h), and the device it
// prints on. A file:// device is the job's own, opened here under the
// job's name as PAPPL would: PAPPL closes a file device when any job ends,
// so one a job shares with another PAPPL started beside it would be closed
// under it. Any other device stays open while jobs are active; the job
// prints on the one PAPPL opened for it.
class PrinterTurn {
 public:
  PrinterTurn(pappl_job_t* job, AppContext& app, pappl_device_t* device) : device_(device) {
    pappl_printer_t* printer = papplJobGetPrinter(job);
    lock_ = std::unique_lock<std::timed_mutex>(app.turns.Printer(papplPrinterGetID(printer)),
                                               std::defer_lock);
    while (!lock_.try_lock_for(std::chrono::milliseconds(100))) {
      if (papplJobIsCanceled(job)) return;
    }
    const char* uri = papplPrinterGetDeviceURI(printer);
    if (uri && std::strncmp(uri, "file:", 5) == 0) {
      own_ = papplDeviceOpen(uri, papplJobGetName(job), papplLogDevice,
                             papplPrinterGetSystem(printer));
      device_ = own_;
    }
  }
  ~PrinterTurn() {
    if (own_) papplDeviceClose(own_);
  }
  PrinterTurn(const PrinterTurn&) = delete;
  PrinterTurn& operator=(const PrinterTurn&) = delete;

  // Null when cancelled while waiting, or when the device cannot open.
  pappl_device_t* device() const { return lock_.owns_lock() ? device_ : nullptr; }

 private:
  pappl_device_t* device_;
  pappl_device_t* own_ = nullptr;
  std::unique_lock<std::timed_mutex> lock_;
};

// Whether this is the job's first start (printer_turns.h). A second start
// leaves the job to the first, and must not touch its work directory,
// which the first is printing from.
bool FirstStart(pappl_job_t* job) {
  if (AppOf(job).turns.Take(papplPrinterGetID(papplJobGetPrinter(job)), papplJobGetID(job))) {
    return true;
  }
  papplLogJob(job, PAPPL_LOGLEVEL_WARN, "Started twice by PAPPL: printed once.");
  return false;
}

// The end of a first start, for a second one to repeat.
bool Ended(pappl_job_t* job, bool printed) {
  const char* message = papplJobGetMessage(job);
  JobEnd end{printed, message ? message : "", 0};
  if (!printed) end.reasons = papplJobGetReasons(job);
  AppOf(job).turns.End(papplPrinterGetID(papplJobGetPrinter(job)), papplJobGetID(job), end);
  return printed;
}

// A second start ends as the first did.
bool EndedAsTheFirst(pappl_job_t* job) {
  const JobEnd end =
      AppOf(job).turns.WaitForEnd(papplPrinterGetID(papplJobGetPrinter(job)), papplJobGetID(job));
  papplJobSetMessage(job, "%s", end.message.c_str());
  if (!end.printed) {
    papplJobSetReasons(job, static_cast<pappl_jreason_t>(end.reasons), PAPPL_JREASON_NONE);
  }
  return end.printed;
}

// Runs the job, started once, in its work directory, which it removes at
// the end.
bool RunJob(pappl_job_t* job, pappl_device_t* pappl_device, DocumentKind kind,
            const std::string& input, const std::string& work_dir) {
  AppContext& app = AppOf(job);
  const PrinterTurn turn(job, app, pappl_device);
  pappl_device_t* device = turn.device();
  if (papplJobIsCanceled(job)) {
    RemoveJobWorkDir(work_dir);
    SetFinalMessage(job, JobFinish::kCancelledBeforePrinting);
    return true;
  }
  if (!device) {
    RemoveJobWorkDir(work_dir);
    Fail(job, PAPPL_JREASON_ERRORS_DETECTED,
         std::string("cannot open the device ") + papplPrinterGetDeviceURI(papplJobGetPrinter(job)));
    return false;
  }
  JobLaunch launch;
  JobCommand& c = launch.command;
  c.kind = kind;
  c.input = input;
  c.work_dir = work_dir;
  c.job_id = static_cast<uint32_t>(papplJobGetID(job));
  std::string error;
  std::vector<std::string> keywords;
  if (!CopySettings(app, work_dir, &c.ini, &keywords, &error) ||
      !MakeTicket(job, keywords, &c, &error)) {
    RemoveJobWorkDir(work_dir);
    Fail(job, PAPPL_JREASON_ERRORS_DETECTED, error);
    return false;
  }
  // Raster pages PAPPL has counted as they arrived are not printed yet.
  papplJobSetImpressionsCompleted(job, -papplJobGetImpressionsCompleted(job));

  std::string reason;
  CopierLink link(job, device, app.copiers);
  link.Begin();
  launch.write = [&link](const uint8_t* data, std::size_t size) { return link.Write(data, size); };
  launch.cancelled = [job] { return papplJobIsCanceled(job); };
  launch.on_report = [job, &reason, &link](const ReportLine& line) { OnReport(job, line, &reason, link); };
  const JobOutcome outcome = LaunchJob(launch);
  link.Finish();
  RemoveJobWorkDir(work_dir);
  papplDeviceFlush(device);
  papplJobSetImpressions(job, papplJobGetImpressionsCompleted(job));
  // The last progress message gives way to how the job ended.
  switch (outcome.end) {
    case JobOutcome::End::kPrinted:
      SetFinalMessage(job, JobFinish::kPrinted);
      return true;
    case JobOutcome::End::kCancelled:
      SetFinalMessage(job, JobFinish::kCancelled);
      return true;
    case JobOutcome::End::kFailed:
      break;
  }
  Fail(job, ReasonOf(reason), outcome.message);
  return false;
}

bool RunSpooledJob(pappl_job_t* job, pappl_device_t* device, DocumentKind kind) {
  if (!FirstStart(job)) return EndedAsTheFirst(job);
  // A job cancelled before it started may have lost its document already.
  if (papplJobIsCanceled(job) || CancelledWhileStarting(job)) {
    SetFinalMessage(job, JobFinish::kCancelledBeforePrinting);
    return Ended(job, true);
  }
  const char* document = papplJobGetFilename(job);
  if (!document) {
    Fail(job, PAPPL_JREASON_DOCUMENT_UNPRINTABLE_ERROR, "the job has no document to print");
    return Ended(job, false);
  }
  const std::string work_dir = WorkDirOf(job, AppOf(job));
  std::string error;
  if (!MakeJobWorkDir(work_dir, &error)) {
    Fail(job, PAPPL_JREASON_ERRORS_DETECTED, error);
    return Ended(job, false);
  }
  return Ended(job, RunJob(job, device, kind, document, work_dir));
}

// A raster job as it arrives: the PWG raster file its lines go to.
struct RasterCapture {
  std::string work_dir;
  int fd = -1;
  cups_raster_t* raster = nullptr;
  bool failed = false;

  void Close() {
    if (raster) cupsRasterClose(raster);
    if (fd >= 0) ::close(fd);
    raster = nullptr;
    fd = -1;
  }
};

RasterCapture* CaptureOf(pappl_job_t* job) {
  return static_cast<RasterCapture*>(papplJobGetData(job));
}

}  // namespace

bool PrintDocument(pappl_job_t* job, pappl_device_t* device, void* /*app*/) {
  const char* format = papplJobGetFormat(job);
  DocumentKind kind = KindOfFormat(format ? format : "");
  // Raster PAPPL was kept from streaming (raster_spooling.h).
  if (kind == DocumentKind::kAsItIs && IsRasterFile(papplJobGetFilename(job))) {
    kind = DocumentKind::kRaster;
  }
  return RunSpooledJob(job, device, kind);
}

bool PrintPclFile(pappl_job_t* job, pappl_pr_options_t* /*options*/, pappl_device_t* device) {
  return RunSpooledJob(job, device, DocumentKind::kAsItIs);
}

bool StartRasterJob(pappl_job_t* job, pappl_pr_options_t* /*options*/,
                    pappl_device_t* /*device*/) {
  if (!FirstStart(job)) return true;
  auto capture = std::make_unique<RasterCapture>();
  capture->work_dir = WorkDirOf(job, AppOf(job));
  std::string error;
  if (!MakeJobWorkDir(capture->work_dir, &error)) {
    Fail(job, PAPPL_JREASON_ERRORS_DETECTED, error);
    return false;
  }
  const std::string path = capture->work_dir + kRasterDocument;
  capture->fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (capture->fd >= 0) capture->raster = cupsRasterOpen(capture->fd, CUPS_RASTER_WRITE_PWG);
  if (!capture->raster) {
    capture->Close();
    RemoveJobWorkDir(capture->work_dir);
    Fail(job, PAPPL_JREASON_ERRORS_DETECTED, "cannot write the raster document to " + path);
    return false;
  }
  papplJobSetData(job, capture.release());
  return true;
}

bool StartRasterPage(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* /*device*/,
                     unsigned /*page*/) {
  RasterCapture* capture = CaptureOf(job);
  if (!capture || capture->failed) return false;
  if (options->header.cupsBitsPerPixel != 8 ||
      !cupsRasterWriteHeader2(capture->raster, &options->header)) {
    capture->failed = true;
    Fail(job, PAPPL_JREASON_DOCUMENT_FORMAT_ERROR,
         "raster page of " + std::to_string(options->header.cupsBitsPerPixel) +
             " bits a pixel: the copier takes 8-bit grey");
    return false;
  }
  return true;
}

bool WriteRasterLine(pappl_job_t* job, pappl_pr_options_t* options, pappl_device_t* /*device*/,
                     unsigned /*y*/, const unsigned char* line) {
  RasterCapture* capture = CaptureOf(job);
  if (!capture || capture->failed) return false;
  if (cupsRasterWritePixels(capture->raster, const_cast<unsigned char*>(line),
                            options->header.cupsBytesPerLine) == 0) {
    capture->failed = true;
  }
  return !capture->failed;
}

bool EndRasterPage(pappl_job_t* job, pappl_pr_options_t* /*options*/, pappl_device_t* /*device*/,
                   unsigned /*page*/) {
  const RasterCapture* capture = CaptureOf(job);
  return capture && !capture->failed;
}

bool EndRasterJob(pappl_job_t* job, pappl_pr_options_t* /*options*/, pappl_device_t* device) {
  std::unique_ptr<RasterCapture> capture(CaptureOf(job));
  papplJobSetData(job, nullptr);
  if (!capture) return false;
  capture->Close();
  // A stream cut short, a bad page or a cancel prints nothing.
  if (capture->failed || papplJobIsCanceled(job) ||
      papplJobGetState(job) == IPP_JSTATE_ABORTED) {
    RemoveJobWorkDir(capture->work_dir);
    return !capture->failed;
  }
  return RunJob(job, device, DocumentKind::kRaster, capture->work_dir + kRasterDocument,
                capture->work_dir);
}

}  // namespace pclspool::app
