#include "job_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cancel_gate.h"
#include "job/format.h"
#include "job/job_context.h"
#include "page_file_guard.h"
#include "pcl_scanner.h"
#include "pclspool/pclspool.h"
#include "platform/posix/aligned_block.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/utf.h"
#include "printer_setup.h"

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
// depend on how a pipe delivers its bytes. Returns the count, or -1. A
// read interrupted by the signal that cancels the job returns what it has.
ssize_t ReadBlock(int fd, uint8_t* buf, std::size_t cap,
                  const std::atomic<bool>* cancel = nullptr) {
  std::size_t got = 0;
  while (got < cap) {
    const ssize_t n = ::read(fd, buf + got, cap - got);
    if (n < 0) {
      if (errno == EINTR) {
        if (IsCancelled(cancel)) break;
        continue;
      }
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
class HookPlayer final : public PclEventSink {
 public:
  HookPlayer(void* job, PageFileGuard& guard, const PrintOptions& o)
      : job_(job), guard_(guard), options_(o) {}

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

  void StartPage() {
    if (in_page_) return;
    ++page_;
    DrvSplStartPage(job_);
    in_page_ = true;
  }

  void EndPage() {
    if (!in_page_) return;
    if (options_.printer_copies > 1) WriteCopies(options_.printer_copies);
    DrvSplEndPage(job_);
    in_page_ = false;
    ReportLostPages(guard_, page_);
    if (options_.on_page_end) options_.on_page_end(page_);
  }

  void Write(const uint8_t* data, std::size_t size) {
    // The hook takes the buffer as Win32 declares it, not const; it only
    // reads it.
    DrvSplWritePrinter(job_, const_cast<uint8_t*>(data), static_cast<PCLSPOOL_DWORD>(size),
                       nullptr);
  }

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
  PageFileGuard& guard_;
  const PrintOptions& options_;
  bool in_page_ = false;
  uint32_t page_ = 0;
};

// Streams every input through the job; returns the exit status so far.
int PlayInputs(const PrintOptions& o, void* job, HANDLE printer, PageFileGuard& guard,
               const std::atomic<bool>* cancel) {
  const posix::AlignedBlock block(kBlockBytes);
  if (!block.data()) {
    Report("out of memory for the read buffer");
    return kExitWriteFailed;
  }
  std::vector<std::string> inputs = o.inputs;
  if (inputs.empty()) inputs.push_back("-");

  HookPlayer player(job, guard, o);
  PclScanner scanner(player);
  for (const std::string& input : inputs) {
    std::string error;
    const int fd = input == "-" ? STDIN_FILENO : OpenToRead(input, &error);
    if (fd < 0) {
      Report(error);
      return kExitUsage;
    }
    if (o.page_files) player.StartPage();
    for (;;) {
      const ssize_t n = ReadBlock(fd, block.data(), block.size(), cancel);
      if (IsCancelled(cancel)) {
        // Abandoned where it stands: no page is ended, nothing is closed
        // off; the caller aborts the job.
        if (fd != STDIN_FILENO) ::close(fd);
        return kExitCancelled;
      }
      if (n < 0) {
        const int err = errno;
        if (fd != STDIN_FILENO) ::close(fd);
        Report(InputName(input) + ": " + Reason(err));
        player.EndPage();
        return kExitUsage;
      }
      if (n == 0) break;
      if (o.page_files) {
        player.Write(block.data(), static_cast<std::size_t>(n));
      } else {
        scanner.Feed(block.data(), static_cast<std::size_t>(n));
      }
      if (IsCancelled(cancel)) {
        if (fd != STDIN_FILENO) ::close(fd);
        return kExitCancelled;
      }
      // A printer that takes nothing more ends the job early.
      if (posix::Posix().spooler.WriteFailed(printer)) break;
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

  int out = STDOUT_FILENO;
  if (!o.output.empty()) {
    out = ::open(o.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (out < 0) {
      Report("-o " + o.output + ": " + Reason(errno));
      return kExitUsage;
    }
  }
  ConfigurePlatform(o, spool.path());

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
    status = PlayInputs(o, job, printer, guard, cancel);
    if (status != kExitOk) DrvSplAbort(job);
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
  return RunPrintJob(line.print);
}

}  // namespace pclspool::cli
