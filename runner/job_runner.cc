#include "runner/job_runner.h"

#include <unistd.h>

#include <atomic>
#include <string>

#include "host/host.h"
#include "pclspool/pclspool.h"
#include "platform/posix/posix_platform.h"
#include "rendering/page_shapes.h"
#include "rendering/render_job.h"
#include "rendering/render_plan.h"
#include "runner/hook_player.h"
#include "runner/input_files.h"
#include "runner/job_inputs.h"
#include "runner/output_gate.h"
#include "runner/page_file_guard.h"
#include "runner/report.h"
#include "runner/side_count.h"
#include "runner/spool_dir.h"
#include "runner/ticket_settings.h"

namespace pclspool::runner {

namespace {

using rendering::RenderPlan;

// Replayed copies come in blocks of 8192 bytes; gathered, they reach the
// output in writes of 256 KiB.
constexpr std::size_t kOutputBufferBytes = 256 * 1024;

// The job as it is known before its first hook: its options with the
// ticket applied, its inputs, its settings as the module will have them,
// and for PDF and PostScript where their pages go.
struct PreparedJob {
  JobOptions options;
  posix::PrinterSetup setup;
  JobInputs inputs;
  host::Settings settings{};
  bool rendered = false;
  RenderPlan plan;
  bool pages_turned = false;  // every page turned a quarter to fit its cell
};

// Everything that can be refused without reading the job is checked before
// it starts: the inputs, the files the options name, the job's device mode.
bool CheckOptions(const JobOptions& o, const JobEvents& events, posix::PrinterSetup* setup) {
  std::string error;
  for (const std::string& input : o.inputs) {
    if (input != "-" && !CheckReadable(input, &error)) {
      events.Error(error);
      return false;
    }
  }
  if (!o.ini.empty() && !CheckReadable(o.ini, &error)) {
    events.Error("--ini " + error);
    return false;
  }
  for (const auto& [face, file] : o.fonts) {
    if (!CheckReadable(file, &error)) {
      events.Error("--font " + error);
      return false;
    }
  }
  if (!o.devmode.empty() && !LoadDevmode(o.devmode, &setup->job_devmode, &error)) {
    events.Error("--devmode " + error);
    return false;
  }
  return true;
}

// The ticket's watermark text must be in the settings file: printed
// without it, the job would look like what it is not.
bool CheckWatermark(const JobOptions& o, const JobEvents& events) {
  const uint16_t n = o.ticket ? o.ticket->watermark : 0;
  if (n == 0 || WatermarkTexts(o.ini).size() >= n) return true;
  events.Error("watermark=" + std::to_string(n) + ": the settings file " +
               (o.ini.empty() ? std::string("OrvWater.INI") : o.ini) + " has no such text");
  return false;
}

// Reads the inputs' kinds and applies the ticket for them.
bool ClassifyJob(const JobEvents& events, PreparedJob* job) {
  JobOptions& o = job->options;
  std::string error;
  if (!o.page_files && !ClassifyInputs(o.inputs, &job->inputs, &error)) {
    events.Error(error);
    return false;
  }
  job->rendered = !o.page_files && IsRendered(job->inputs.kind);
  if (!o.page_files && events.on_kind) events.on_kind(job->inputs.kind);
  if (o.ticket) {
    std::string left_out;
    ApplyTicket(*o.ticket, job->inputs.kind, &o, &left_out);
    if (!left_out.empty()) events.LeftOut(left_out);
    events.Info(DescribeTicket(*o.ticket, job->inputs.kind));
  }
  if (o.watermark) host::SetWatermark(&job->setup, *o.watermark);
  return true;
}

// Whether Ghostscript turns every page of the job a quarter to fit its
// cell (portrait pages printed landscape, landscape pages portrait). Told
// for PDF files, whose pages' sizes Ghostscript gives without rendering
// them; a job with other inputs is taken as it comes.
bool PagesAllTurned(const PreparedJob& job) {
  const RenderPlan& plan = job.plan;
  // Only a sheet of several, or a landscape page alone, is printed
  // otherwise for turned pages.
  if (plan.job.booklet || (plan.layout.cells < 2 && !plan.sheetLandscape)) return false;
  const bool cell_landscape = plan.layout.cellWidth > plan.layout.cellHeight;
  const rendering::PageShape other =
      cell_landscape ? rendering::PageShape::kPortrait : rendering::PageShape::kLandscape;
  for (std::size_t i = 0; i < job.inputs.paths.size(); ++i) {
    if (job.inputs.kinds[i] == InputKind::kEmpty) continue;
    if (job.inputs.kinds[i] != InputKind::kPdf || job.inputs.paths[i] == "-") return false;
    std::vector<rendering::PageShape> shapes;
    std::string error;
    if (!rendering::PdfPageShapes(job.options.ghostscript, job.inputs.paths[i], &shapes, &error)) {
      return false;  // the rendering says what is wrong with it
    }
    for (rendering::PageShape shape : shapes) {
      if (shape != other) return false;
    }
  }
  return true;
}

// With the platform configured: the settings the module will have, the
// page choice and, for PDF and PostScript, where their pages go.
bool PlanJob(const JobEvents& events, PreparedJob* job) {
  const JobOptions& o = job->options;
  job->settings = host::EffectiveSettings(job->setup);
  if (!o.page_ranges.empty() && job->inputs.paths.size() > 1) {
    events.Error("page-ranges: chooses the pages of a single input, not of " +
                 std::to_string(job->inputs.paths.size()));
    return false;
  }
  std::string error;
  if (job->rendered && !rendering::PlanRendering(job->settings.sheet, &job->plan, &error)) {
    events.Error(error);
    return false;
  }
  job->plan.upsideDown = o.upside_down;
  job->plan.pageBorders = o.page_border;
  job->pages_turned = job->rendered && PagesAllTurned(*job);
  // A portrait document printed landscape, one page to a sheet: its pages,
  // turned a quarter to fill the landscape page, are turned back upright
  // on the sheet (the landscape page is laid reversed), never upside down.
  if (job->pages_turned && job->plan.layout.cells == 1 && job->plan.sheetLandscape) {
    job->plan.upsideDown = true;
  }
  return true;
}

// The order of the sides and of the pages on them, as the rendering side
// takes it.
rendering::PageOrder OrderOf(const JobOptions& o) {
  rendering::PageOrder order;
  order.sides = o.page_set == PageSet::kOdd    ? rendering::SideSet::kOdd
                : o.page_set == PageSet::kEven ? rendering::SideSet::kEven
                                               : rendering::SideSet::kAll;
  order.last_sheet_first = o.reverse_order;
  switch (o.number_up_layout) {
    case NupLayout::kLrtb: break;
    case NupLayout::kLrbt: order.bottom_to_top = true; break;
    case NupLayout::kRltb: order.right_to_left = true; break;
    case NupLayout::kRlbt: order.right_to_left = order.bottom_to_top = true; break;
    case NupLayout::kTblr: order.columns_first = true; break;
    case NupLayout::kTbrl: order.columns_first = order.right_to_left = true; break;
    case NupLayout::kBtlr: order.columns_first = order.bottom_to_top = true; break;
    case NupLayout::kBtrl:
      order.columns_first = order.bottom_to_top = order.right_to_left = true;
      break;
  }
  return order;
}

// The sides the job prints, for the front end's accounting.
SidePlan PlanSides(const host::Settings& settings, uint16_t uncollated_copies) {
  SidePlan plan;
  plan.booklet = settings.sheet.job.booklet;
  plan.pages_per_side = LayoutSheet(settings.sheet.job).cells;
  plan.stored = settings.stores_pages;
  const uint32_t module_copies = static_cast<uint32_t>(settings.copies);
  plan.copies = module_copies * (uncollated_copies > 1 ? uncollated_copies : 1);
  return plan;
}

// Renders the PDF and PostScript inputs on the hooks; returns the exit
// status so far.
int RenderJob(const PreparedJob& job, const std::string& scratch, const JobEvents& events,
              HookPlayer& player, const std::atomic<bool>* cancel) {
  rendering::RenderRequest request;
  request.ghostscript = job.options.ghostscript;
  request.page_list = job.options.page_ranges;
  request.cancel = cancel;
  request.order = OrderOf(job.options);
  // Pages turned to fit are read with the sheet turned: its cells in that
  // reader's order.
  if (job.pages_turned && job.plan.layout.cells > 1) {
    request.order = rendering::TurnedForReader(request.order);
  }
  request.scratch = scratch;
  const JobLimits& limits = job.options.limits;
  request.page_timeout = limits.page_timeout;
  request.max_pages = limits.max_pages;
  request.max_stdin_pdf_bytes = limits.max_stdin_pdf_bytes;
  if (events.on_progress) {
    request.progress = [&events](const std::string& name, uint32_t rendered, uint32_t sent) {
      events.on_progress(JobProgress{name, rendered, sent});
    };
  }
  bool stdin_given = false;
  const JobInputs& inputs = job.inputs;
  for (std::size_t i = 0; i < inputs.paths.size(); ++i) {
    if (inputs.kinds[i] == InputKind::kEmpty) continue;
    const bool is_stdin = inputs.paths[i] == "-";
    // The title names a job of one document; of several, each by its file.
    const std::string name = inputs.paths.size() == 1 ? job.options.title : "";
    request.inputs.push_back({inputs.paths[i], is_stdin && !stdin_given ? inputs.stdin_head : "",
                              name, inputs.kinds[i] == InputKind::kPdf});
    stdin_given = stdin_given || is_stdin;
  }
  const rendering::RenderOutcome outcome = rendering::RenderInputs(request, job.plan, player);
  player.Finish();
  switch (outcome.kind) {
    case rendering::RenderOutcome::Kind::kDone:
    case rendering::RenderOutcome::Kind::kPrinterFailed:  // reported when the output is flushed
      return kExitOk;
    case rendering::RenderOutcome::Kind::kCancelled: return kExitCancelled;
    case rendering::RenderOutcome::Kind::kFailed: break;
  }
  events.Error(outcome.message);
  return kExitUsage;
}

// A job of several PDF and PostScript documents whose copies are each
// document's own (A A B B, IPP's separate-documents-uncollated-copies, the
// sheets of each copy collated or not): one job for each document, as
// CUPS prints them, a run of its filters for each; none when the
// documents print as one job (a single copy, or collated copies A B A B).
std::vector<PreparedJob> SeparateDocuments(const PreparedJob& job) {
  std::vector<PreparedJob> documents;
  const JobInputs& inputs = job.inputs;
  const bool copies = job.settings.copies > 1 || job.options.uncollated_copies > 1;
  if (!job.rendered || !copies || job.options.documents != DocumentCopies::kUncollated) {
    return documents;
  }
  for (std::size_t i = 0; i < inputs.paths.size(); ++i) {
    if (inputs.kinds[i] == InputKind::kEmpty) continue;
    PreparedJob one = job;
    one.inputs.paths = {inputs.paths[i]};
    one.inputs.kinds = {inputs.kinds[i]};
    documents.push_back(std::move(one));
  }
  if (documents.size() < 2) documents.clear();
  return documents;
}

// The platform services the hooks run on: the POSIX ones with the page
// files watched, and, for a job that can be cancelled, behind the gate
// that the cancel shuts. (Only such a job: the gate is one call more on the
// path of every stream buffer.)
class JobServices {
 public:
  explicit JobServices(const std::atomic<bool>* cancel)
      : guard_(posix::Posix().files),
        gate_(cancel),
        files_(guard_, gate_),
        spooler_(posix::Posix().spooler, gate_),
        cancellable_(cancel != nullptr) {
    services_ = posix::Posix().services;
    services_.files = &guard_;
    gated_ = services_;
    gated_.files = &files_;
    gated_.spooler = &spooler_;
    platform::Install(cancellable_ ? &gated_ : &services_);
  }
  ~JobServices() { platform::Install(nullptr); }

  // From now on nothing reaches the printer and no page file is read.
  void Shut() {
    gate_.Shut();
    platform::Install(&gated_);
  }
  PageFileGuard& guard() { return guard_; }

 private:
  PageFileGuard guard_;
  OutputGate gate_;
  GatedFiles files_;
  GatedSpooler spooler_;
  bool cancellable_;
  platform::Platform services_{};
  platform::Platform gated_{};
};

// Plays the job on the hooks, from DrvSplStartDoc to DrvSplClose. The
// pages that end are counted in *sides; *pages_ended is the last of them.
int PlayJob(const PreparedJob& job, const std::string& scratch, HANDLE printer,
            const JobEvents& events, const std::atomic<bool>* cancel, JobServices& services,
            SideCounter& sides, uint32_t* pages_ended) {
  void* handle = DrvSplStartDoc(printer, job.options.job_id);
  if (!handle) {
    events.Error("the job could not be started: out of memory");
    return kExitNoResources;
  }
  HookPlayer player(handle, printer, services.guard(), events, job.options.uncollated_copies,
                    job.options.limits.max_pages, [&](uint32_t page) {
                      // A page the cancel cut short is not printed.
                      if (IsCancelled(cancel)) return;
                      *pages_ended = page;
                      if (events.on_page) events.on_page(page);
                      sides.PageEnded(page);
                    });
  int status = job.rendered ? RenderJob(job, scratch, events, player, cancel)
                            : PlayInputs(job.options, job.inputs, player, printer, events, cancel);
  if (status != kExitOk) {
    DrvSplAbort(handle);
    // A stored job that did not complete prints nothing at all: its
    // replay goes nowhere, and its page files are still deleted. Nor
    // does a job that failed before its first page close a job on the
    // printer that it never opened.
    if (job.settings.stores_pages || player.pages() == 0) services.Shut();
  }
  DrvSplEndDoc(handle);
  DrvSplClose(handle);
  // A cancel after the last page, or during the replay of stored pages,
  // has cut the job short all the same.
  if (IsCancelled(cancel)) status = kExitCancelled;
  return status;
}

}  // namespace

int RunPrintJob(const JobOptions& options, const JobOutput& output, const JobEvents& given,
                const std::atomic<bool>* cancel) {
  // A job of one document with a title: every message names the document
  // by it rather than by its file (a spool file's name means nothing to
  // whoever printed it).
  JobEvents events = given;
  if (!options.title.empty() && options.inputs.size() == 1 && options.inputs[0] != "-") {
    const std::string file = options.inputs[0] + ":";
    events.on_error = [&given, file, title = options.title](const std::string& line) {
      given.Error(line.rfind(file, 0) == 0 ? title + ":" + line.substr(file.size()) : line);
    };
  }
  // A refused job returns before the output is opened.
  PreparedJob job;
  job.options = options;
  job.setup = host::DriverPrinter();
  if (!CheckOptions(options, events, &job.setup)) return kExitUsage;
  if (!ClassifyJob(events, &job)) return kExitUsage;
  if (!CheckWatermark(options, events)) return kExitUsage;

  std::string error;
  SpoolDir spool;
  if (!spool.Use(job.options.spool_dir, &error)) {
    events.Error(error);
    return kExitUsage;
  }
  const JobOptions& o = job.options;
  host::Configure({spool.path(), o.ini, o.settings, o.fonts, o.dpi, o.trace});
  if (!PlanJob(events, &job)) return kExitUsage;

  job.setup.fd = output.fd;
  if (job.setup.fd < 0 && output.open) {
    job.setup.fd = output.open(&error);
    if (job.setup.fd < 0) {
      events.Error(error);
      return kExitUsage;
    }
  }
  const HANDLE printer = reinterpret_cast<HANDLE>(job.options.printer_handle);
  job.setup.buffer_bytes = kOutputBufferBytes;
  posix::PosixPlatform& px = posix::Posix();
  if (!px.spooler.AddPrinter(printer, job.setup)) {
    events.Error("the printer could not be set up: out of memory");
    return kExitNoResources;
  }
  const SidePlan side_plan = PlanSides(job.settings, job.options.uncollated_copies);
  SideCounter sides(side_plan, events.on_side);
  uint32_t pages_ended = 0;
  int status = kExitOk;
  int lost = 0;
  {
    JobServices services(cancel);
    const std::vector<PreparedJob> documents = SeparateDocuments(job);
    if (documents.empty()) {
      status = PlayJob(job, spool.path(), printer, events, cancel, services, sides, &pages_ended);
    } else {
      // Each document a job of its own on the printer, its copies made
      // before the next document's: its sides counted on from the last.
      uint32_t sides_before = 0;
      uint32_t last_side = 0;
      for (const PreparedJob& document : documents) {
        SideCounter document_sides(side_plan, [&](uint32_t side, uint32_t copies) {
          last_side = sides_before + side;
          if (events.on_side) events.on_side(last_side, copies);
        });
        uint32_t ended = 0;
        status = PlayJob(document, spool.path(), printer, events, cancel, services, document_sides,
                         &ended);
        if (status != kExitOk) break;
        document_sides.JobEnded(ended);
        sides_before = last_side;
      }
      pages_ended = 0;  // every side is counted
    }
    lost = services.guard().lost();
  }

  if (!px.spooler.Flush(printer) && status == kExitOk) {
    events.Error("cannot write the printer output to " + output.name);
    status = kExitWriteFailed;
  }
  if (lost > 0) {
    // The rest of the job has been printed; the output is incomplete.
    events.Error(std::to_string(lost) + (lost == 1 ? " page" : " pages") +
                 " lost: the spool directory could not store " + (lost == 1 ? "it" : "them"));
    if (status == kExitOk) status = kExitWriteFailed;
  }
  px.spooler.RemovePrinter(printer);
  if (status == kExitOk && pages_ended > 0) sides.JobEnded(pages_ended);
  return status;
}

std::vector<std::string> WatermarkTexts(const std::string& ini) {
  return host::WatermarkTexts(ini);
}

const char* Version() { return PCLSPOOL_VERSION; }

}  // namespace pclspool::runner
