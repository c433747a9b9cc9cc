#include "job_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cancel_gate.h"
#include "discarding_spooler.h"
#include "job/format.h"
#include "job/job_context.h"
#include "job/settings.h"
#include "job_inputs.h"
#include "page_file_guard.h"
#include "page_player.h"
#include "pcl_scanner.h"
#include "pclspool/pclspool.h"
#include "platform/posix/aligned_block.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/utf.h"
#include "printer_setup.h"
#include "progress_line.h"
#include "render_job.h"
#include "render_plan.h"

namespace pclspool::cli {

namespace {

// Inputs are read, and handed to the hooks, in blocks of up to 1 MiB (the
// scanner's largest event). Large reads into a page-aligned buffer let the
// kernel copy at full speed: bench/ measured the command at about 0.75 of
// cat's throughput with 64 KiB reads and above cat's with these.
constexpr std::size_t kBlockBytes = PclScanner::kMaxEventBytes;

// Kept equal to the project version in CMakeLists.txt.
constexpr char kVersion[] = "0.1.0";

// What diagnostic lines start with: PrintOptions::report_prefix of the job
// that runs, "pclspool: " before and without one.
std::string g_report_prefix = "pclspool: ";

void Report(const std::string& message) {
  const std::string line = g_report_prefix + message + "\n";
  posix::WriteAll(STDERR_FILENO, line.data(), line.size());
}

std::string Reason(int err) { return std::strerror(err); }

std::string InputName(const std::string& input) {
  return input == "-" ? "standard input" : input;
}

// Opens a file to read; a directory is refused here rather than at its
// first read. Returns -1 with *error set.
int OpenToRead(const std::string& path, std::string* error) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = path + ": " + Reason(errno);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    *error = path + ": " + Reason(EISDIR);
    return -1;
  }
  return fd;
}

bool CheckReadable(const std::string& path, std::string* error) {
  const int fd = OpenToRead(path, error);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

// Whether -o names an existing file that is also read as input (standard
// input included).
bool OutputIsAnInput(const PrintOptions& o) {
  struct stat out {};
  if (::stat(o.output.c_str(), &out) != 0 || !S_ISREG(out.st_mode)) return false;
  const auto same = [&](const struct stat& in) {
    return in.st_dev == out.st_dev && in.st_ino == out.st_ino;
  };
  struct stat in {};
  if (o.inputs.empty() && ::fstat(STDIN_FILENO, &in) == 0 && same(in)) return true;
  for (const std::string& input : o.inputs) {
    const bool ok = input == "-" ? ::fstat(STDIN_FILENO, &in) == 0 : ::stat(input.c_str(), &in) == 0;
    if (ok && same(in)) return true;
  }
  return false;
}

// Reads until the buffer is full or the input ends, so that blocks do not
// depend on how a pipe delivers its bytes. Returns the count, or -1 (with
// errno EINTR when *cancel came true while it waited).
ssize_t ReadBlock(int fd, uint8_t* buf, std::size_t cap,
                  const std::atomic<bool>* cancel = nullptr) {
  std::size_t got = 0;
  while (got < cap) {
    const ssize_t n = ::read(fd, buf + got, cap - got);
    if (n < 0) {
      if (errno == EINTR && !(cancel && cancel->load())) continue;
      return -1;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return static_cast<ssize_t>(got);
}

bool LoadDevmode(const std::string& path, posix::DevmodeBlock* block, std::string* error) {
  const int fd = OpenToRead(path, error);
  if (fd < 0) return false;
  // One byte more than the block, to tell a longer file.
  uint8_t buf[kDevmodeBlockSize + 1];
  const ssize_t n = ReadBlock(fd, buf, sizeof(buf));
  const int err = errno;
  ::close(fd);
  if (n < 0) {
    *error = path + ": " + Reason(err);
    return false;
  }
  if (static_cast<std::size_t>(n) != kDevmodeBlockSize) {
    *error = path + ": " + (static_cast<std::size_t>(n) > kDevmodeBlockSize ? "more than" : "only") +
             " " + std::to_string(std::min<std::size_t>(n, kDevmodeBlockSize)) +
             " bytes; a device mode block is its DEVMODEW and DriverExtra, exactly " +
             std::to_string(kDevmodeBlockSize) + " bytes";
    return false;
  }
  std::memcpy(block->data(), buf, kDevmodeBlockSize);
  return true;
}

// The spool directory: the one given, or a fresh private one (mode 0700)
// that is removed with everything in it when the run ends, whatever way.
class SpoolDir {
 public:
  ~SpoolDir() {
    if (!owned_) return;
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }

  bool Use(const std::string& given, std::string* error) {
    if (!given.empty()) {
      struct stat st {};
      if (::stat(given.c_str(), &st) != 0) {
        *error = "--spool-dir " + given + ": " + Reason(errno);
        return false;
      }
      if (!S_ISDIR(st.st_mode)) {
        *error = "--spool-dir " + given + ": " + Reason(ENOTDIR);
        return false;
      }
      // Page files that cannot be created are dropped without a word from
      // the module: refuse a directory they cannot go into.
      if (::access(given.c_str(), W_OK | X_OK) != 0) {
        *error = "--spool-dir " + given + ": " + Reason(errno);
        return false;
      }
      path_ = given;
      return true;
    }
    const char* tmp = ::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/pclspool.XXXXXX";
    if (!::mkdtemp(pattern.data())) {
      *error = "cannot create a spool directory in " + std::string(tmp && *tmp ? tmp : "/tmp") +
               ": " + Reason(errno);
      return false;
    }
    path_ = pattern;
    owned_ = true;
    return true;
  }

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool owned_ = false;
};

// Reports the pages lost since the last call, `page` being the one that
// just ended. A page whose file could not be created the module has
// reported on the debugger already; one cut short by a failed write is
// reported here.
void ReportLostPages(PageFileGuard& guard, uint32_t page) {
  for (const PageFileGuard::Loss& loss : guard.TakeLosses()) {
    if (!loss.created) continue;
    Report("page " + std::to_string(page) + " left out: cannot store it in " + loss.path + ": " +
           loss.reason);
  }
}

// Plays the scanner's events on the hooks: each page bracketed by
// DrvSplStartPage and DrvSplEndPage, the header inside the first page (the
// settings it sets must come after the first page's settings override),
// the closing segment after the last page.
class HookPlayer final : public PclEventSink, public PageHooks {
 public:
  HookPlayer(void* job, HANDLE printer, PageFileGuard& guard, const PrintOptions& o)
      : job_(job), printer_(printer), guard_(guard), options_(o) {}

  void OnPclEvent(const PclEvent& e) override {
    switch (e.kind) {
      case PclEventKind::kHeader:
      case PclEventKind::kPageData:
        StartPage();
        Write(e.data, e.size);
        break;
      case PclEventKind::kPageEnd:
        StartPage();
        EndPage();
        break;
      case PclEventKind::kTrailer:
        EndPage();
        Write(e.data, e.size);
        break;
    }
  }

  // A job that ends inside a page (a header and nothing else).
  void Finish() { EndPage(); }

  // Pages started so far.
  uint32_t pages() const { return page_; }

  void StartPage() override {
    if (in_page_) return;
    ++page_;
    DrvSplStartPage(job_);
    in_page_ = true;
  }

  void EndPage() override {
    if (!in_page_) return;
    if (options_.printer_copies > 1) WriteCopies(options_.printer_copies);
    DrvSplEndPage(job_);
    in_page_ = false;
    ReportLostPages(guard_, page_);
    if (options_.on_page_end) options_.on_page_end(page_);
  }

  void Write(const uint8_t* data, std::size_t size) override {
    // The hook takes the buffer as Win32 declares it, not const; it only
    // reads it.
    DrvSplWritePrinter(job_, const_cast<uint8_t*>(data), static_cast<PCLSPOOL_DWORD>(size),
                       nullptr);
  }

  void PageDone() override { posix::Posix().spooler.Flush(printer_); }
  bool PrinterFailed() override { return posix::Posix().spooler.WriteFailed(printer_); }

 private:
  // The PCL number of copies, as the page's last command: the printer
  // takes the count in force when it ejects the sheet, so this one wins
  // over any the page set at its top (Ghostscript's PCL devices write
  // "ESC & l 1 X" on every page).
  void WriteCopies(uint16_t copies) {
    char command[16];
    const int n = FormatA(command, sizeof(command), "\x1B&l%dX", {copies});
    Write(reinterpret_cast<const uint8_t*>(command), static_cast<std::size_t>(n));
  }

  void* job_;
  HANDLE printer_;
  PageFileGuard& guard_;
  const PrintOptions& options_;
  bool in_page_ = false;
  uint32_t page_ = 0;
};

// Streams every input of a PCL job through the job; returns the exit
// status so far.
int PlayInputs(const PrintOptions& o, const JobInputs& job_inputs, HookPlayer& player,
               HANDLE printer, const std::atomic<bool>* cancel) {
  const posix::AlignedBlock block(kBlockBytes);
  if (!block.data()) {
    Report("out of memory for the read buffer");
    return kExitWriteFailed;
  }
  std::vector<std::string> inputs = o.inputs;
  if (inputs.empty()) inputs.push_back("-");

  PclScanner scanner(player);
  // What was read of the standard input to tell the job's kind comes first.
  std::string stdin_head = o.page_files ? "" : job_inputs.stdin_head;
  for (const std::string& input : inputs) {
    std::string error;
    const int fd = input == "-" ? STDIN_FILENO : OpenToRead(input, &error);
    if (fd < 0) {
      Report(error);
      return kExitUsage;
    }
    if (o.page_files) player.StartPage();
    if (fd == STDIN_FILENO && !stdin_head.empty()) {
      scanner.Feed(reinterpret_cast<const uint8_t*>(stdin_head.data()), stdin_head.size());
      stdin_head.clear();
    }
    for (;;) {
      const ssize_t n = ReadBlock(fd, block.data(), block.size(), cancel);
      if (n < 0) {
        const int err = errno;
        if (fd != STDIN_FILENO) ::close(fd);
        player.EndPage();
        if (cancel && cancel->load()) return kExitCancelled;
        Report(InputName(input) + ": " + Reason(err));
        return kExitUsage;
      }
      if (n == 0) break;
      if (o.page_files) {
        player.Write(block.data(), static_cast<std::size_t>(n));
      } else {
        scanner.Feed(block.data(), static_cast<std::size_t>(n));
      }
      // A printer that takes nothing more ends the job early.
      if (posix::Posix().spooler.WriteFailed(printer)) break;
      if (cancel && cancel->load()) {
        if (fd != STDIN_FILENO) ::close(fd);
        player.EndPage();
        return kExitCancelled;
      }
    }
    if (fd != STDIN_FILENO) ::close(fd);
    if (o.page_files) player.EndPage();
    if (posix::Posix().spooler.WriteFailed(printer)) break;
  }
  if (!o.page_files) scanner.Finish();
  player.Finish();
  return kExitOk;
}

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

void ConfigurePlatform(const PrintOptions& o, const std::string& spool_dir) {
  posix::PosixPlatform& px = posix::Posix();
  px.files.SetSystemDirectory(spool_dir);
  px.profile.SetFilePath(o.ini);  // "" looks for OrvWater.INI in the working directory
  // A job run earlier in the same process leaves no settings behind.
  px.profile.ClearOverrides();
  for (const auto& [key, value] : o.settings) {
    px.profile.SetOverride(u"SETTING", posix::Utf8ToUtf16(key), posix::Utf8ToUtf16(value));
  }
  for (const auto& [face, file] : o.fonts) px.text.MapFace(posix::Utf8ToUtf16(face), file);
  if (o.dpi > 0) px.text.SetLogPixels(o.dpi);
  px.debug.SetTraceToStderr(o.trace);
}

// The job's settings as the module will have them at its first page: the
// job's device mode (as the settings capture copies it) with the [SETTING]
// section and the --set overrides on top, read by the module's own code
// from the platform as the job will find it.
JobContext EffectiveSettings(const posix::PrinterSetup& setup) {
  JobContext settings{};
  std::memcpy(&settings.dm, setup.job_devmode.data(), kDevmodeBlockSize);
  OverrideSettings(settings);
  return settings;
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

// Set by SIGINT, SIGTERM and SIGHUP in the command: the job stops at the
// next page (or the next block of a PCL job) and cleans up.
std::atomic<bool> g_stop{false};
volatile sig_atomic_t g_stop_signal = 0;
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnStopSignal(int signal_number) {
  g_stop_signal = signal_number;
  g_stop.store(true);
}

void CatchStopSignals() {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal the caller has us ignore stays ignored (nohup, a shell's
    // background job).
    if (::sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a read waiting for input returns, and the job stops.
    sa.sa_flags = 0;
    ::sigaction(signal_number, &sa, nullptr);
  }
}

}  // namespace

int RunPrintJob(const PrintOptions& o, const std::atomic<bool>* cancel) {
  g_report_prefix = o.report_prefix;
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
    return kExitWriteFailed;
  }

  // The POSIX services, with the page files watched; a job that can be
  // cancelled goes through the gate that the cancel closes.
  PageFileGuard guard(px.files);
  GatedFiles files(guard, cancel);
  GatedSpooler spooler(px.spooler, cancel);
  platform::Platform services = px.services;
  services.files = &guard;
  if (cancel) {
    services.files = &files;
    services.spooler = &spooler;
  }
  platform::Install(&services);

  int status = kExitOk;
  void* job = DrvSplStartDoc(printer, o.job_id);
  if (!job) {
    Report("the job could not be started: out of memory");
    status = kExitWriteFailed;
  } else {
    HookPlayer player(job, printer, guard, o);
    status = rendered ? RenderJob(o, inputs, plan, player, cancel)
                      : PlayInputs(o, inputs, player, printer, cancel);
    DiscardingSpooler discard(px.spooler);
    platform::Platform ending = services;
    if (status != kExitOk) {
      DrvSplAbort(job);
      // A stored job that did not complete prints nothing at all: its
      // replay goes nowhere, and its page files are still deleted. Nor
      // does a job that failed before its first page close a job on the
      // printer that it never opened.
      if (stored || player.pages() == 0) {
        ending.spooler = &discard;
        platform::Install(&ending);
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
  const int status = RunPrintJob(line.print, &g_stop);
  // Stopped by a signal: the job has ended cleanly (Ghostscript stopped,
  // page files and the private spool directory gone); now the signal does
  // what it would have done, so that the caller sees it.
  const int signal_number = g_stop_signal;
  if (signal_number != 0) {
    ::signal(signal_number, SIG_DFL);
    ::raise(signal_number);
  }
  return status;
}

}  // namespace pclspool::cli
