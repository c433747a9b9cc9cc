#include "runner/hook_player.h"

#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "pclspool/pclspool.h"
#include "platform/posix/aligned_block.h"
#include "platform/posix/posix_platform.h"
#include "rendering/cancel_flag.h"
#include "runner/exit_status.h"
#include "runner/input_files.h"
#include "runner/report.h"

namespace pclspool::runner {

namespace {

// Inputs are read, and handed to the hooks, in blocks of up to 1 MiB (the
// scanner's largest event). Large reads into a page-aligned buffer let the
// kernel copy at full speed: bench/ measured the command at about 0.75 of
// cat's throughput with 64 KiB reads and above cat's with these.
constexpr std::size_t kBlockBytes = pcl::PclScanner::kMaxEventBytes;

// Reports the pages lost since the last call, `page` being the one that
// just ended. A page whose file could not be created the module has
// reported on the debugger already; one cut short by a failed write is
// reported here.
void ReportLostPages(PageFileGuard& guard, uint32_t page, const JobEvents& events) {
  for (const PageFileGuard::Loss& loss : guard.TakeLosses()) {
    if (!loss.created) continue;
    events.Error("page " + std::to_string(page) + " left out: cannot store it in " + loss.path + ": " +
           loss.reason);
  }
}

std::string TooManyPages(const std::string& input, uint32_t max_pages) {
  return InputName(input) + ": stopped: the job has more than " + std::to_string(max_pages) +
         " pages, the most one job prints";
}

}  // namespace

void HookPlayer::OnPclEvent(const pcl::PclEvent& e) {
  switch (e.kind) {
    case pcl::PclEventKind::kHeader:
    case pcl::PclEventKind::kPageData:
      if (Begin()) Write(e.data, e.size);
      break;
    case pcl::PclEventKind::kPageEnd:
      if (Begin()) EndPage();
      break;
    case pcl::PclEventKind::kTrailer:
      EndPage();
      Write(e.data, e.size);
      break;
  }
}

void HookPlayer::StartPage() { Begin(); }

bool HookPlayer::Begin() {
  if (in_page_) return true;
  if (too_many_ || page_ >= max_pages_) {
    too_many_ = true;
    return false;
  }
  ++page_;
  DrvSplStartPage(job_);
  in_page_ = true;
  return true;
}

void HookPlayer::EndPage() {
  if (!in_page_) return;
  if (copies_ > 1) WriteCopies(copies_);
  DrvSplEndPage(job_);
  in_page_ = false;
  ReportLostPages(guard_, page_, events_);
  if (page_ended_) page_ended_(page_);
}

void HookPlayer::Write(const uint8_t* data, std::size_t size) {
  if (too_many_) return;
  // The hook takes the buffer as Win32 declares it, not const; it only
  // reads it.
  DrvSplWritePrinter(job_, const_cast<uint8_t*>(data), static_cast<PCLSPOOL_DWORD>(size),
                     nullptr);
}

void HookPlayer::PageDone() { posix::Posix().spooler.Flush(printer_); }

bool HookPlayer::PrinterFailed() { return posix::Posix().spooler.WriteFailed(printer_); }

void HookPlayer::WriteCopies(uint16_t copies) {
  const std::string command = "\x1B&l" + std::to_string(copies) + "X";
  Write(reinterpret_cast<const uint8_t*>(command.data()), command.size());
}

int PlayInputs(const JobOptions& o, const JobInputs& job_inputs, HookPlayer& player,
               HANDLE printer, const JobEvents& events, const std::atomic<bool>* cancel) {
  const posix::AlignedBlock block(kBlockBytes);
  if (!block.data()) {
    events.Error("out of memory for the read buffer");
    return kExitNoResources;
  }
  std::vector<std::string> inputs = o.inputs;
  if (inputs.empty()) inputs.push_back("-");

  pcl::PclScanner scanner(player);
  // What was read of the standard input to tell the job's kind comes first.
  std::string stdin_head = o.page_files ? "" : job_inputs.stdin_head;
  for (const std::string& input : inputs) {
    std::string error;
    const int fd = input == "-" ? STDIN_FILENO : OpenToRead(input, &error);
    if (fd < 0) {
      events.Error(error);
      return kExitUsage;
    }
    const auto too_many = [&] {
      if (fd != STDIN_FILENO) ::close(fd);
      events.Error(TooManyPages(input, o.limits.max_pages));
      return kExitUsage;
    };
    if (o.page_files) player.StartPage();
    if (player.too_many_pages()) return too_many();
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
        if (IsCancelled(cancel)) return kExitCancelled;
        events.Error(InputName(input) + ": " + Reason(err));
        return kExitUsage;
      }
      if (n == 0) break;
      if (o.page_files) {
        player.Write(block.data(), static_cast<std::size_t>(n));
      } else {
        scanner.Feed(block.data(), static_cast<std::size_t>(n));
      }
      if (player.too_many_pages()) return too_many();
      // A printer that takes nothing more ends the job early.
      if (posix::Posix().spooler.WriteFailed(printer)) break;
      if (IsCancelled(cancel)) {
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
  if (player.too_many_pages()) {
    events.Error(TooManyPages(inputs.back(), o.limits.max_pages));
    return kExitUsage;
  }
  player.Finish();
  return kExitOk;
}

}  // namespace pclspool::runner
