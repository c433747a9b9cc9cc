// The command's spooler: plays a job's pages on the seven hooks as a print
// spooler calls them.
#pragma once

#include <atomic>
#include <cstdint>

#include "job_inputs.h"
#include "options.h"
#include "page_file_guard.h"
#include "page_player.h"
#include "pcl_scanner.h"
#include "platform/win_types.h"

namespace pclspool::cli {

// Plays the scanner's events on the hooks: each page bracketed by
// DrvSplStartPage and DrvSplEndPage, the header inside the first page (the
// settings it sets must come after the first page's settings override),
// the closing segment after the last page.
class HookPlayer final : public PclEventSink, public PageHooks {
 public:
  HookPlayer(void* job, HANDLE printer, PageFileGuard& guard, const PrintOptions& o)
      : job_(job), printer_(printer), guard_(guard), options_(o) {}

  void OnPclEvent(const PclEvent& e) override;

  // A job that ends inside a page (a header and nothing else).
  void Finish() { EndPage(); }

  // Pages started so far.
  uint32_t pages() const { return page_; }

  void StartPage() override;
  void EndPage() override;
  void Write(const uint8_t* data, std::size_t size) override;
  void PageDone() override;
  bool PrinterFailed() override;

 private:
  // The PCL number of copies, as the page's last command: the printer
  // takes the count in force when it ejects the sheet, so this one wins
  // over any the page set at its top (Ghostscript's PCL devices write
  // "ESC & l 1 X" on every page).
  void WriteCopies(uint16_t copies);

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
               HANDLE printer, const std::atomic<bool>* cancel);

}  // namespace pclspool::cli
