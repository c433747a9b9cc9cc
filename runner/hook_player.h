// The runner's spooler: plays a job's pages on the seven hooks as a print
// spooler calls them.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>

#include "pcl/pcl_scanner.h"
#include "platform/win_types.h"
#include "rendering/page_player.h"
#include "runner/job_events.h"
#include "runner/job_inputs.h"
#include "runner/job_options.h"
#include "runner/page_file_guard.h"

namespace pclspool::runner {

// Plays the scanner's events on the hooks: each page bracketed by
// DrvSplStartPage and DrvSplEndPage, the header inside the first page (the
// settings it sets must come after the first page's settings override),
// the closing segment after the last page.
//
// Above one copy, every page ends with the PCL number of copies, so that
// the printer prints each sheet that many times (uncollated copies). After
// every DrvSplEndPage `page_ended` is called with the page's number. A page
// beyond max_pages is not begun: it and all that follows are dropped.
class HookPlayer final : public pcl::PclEventSink, public rendering::PageHooks {
 public:
  HookPlayer(void* job, HANDLE printer, PageFileGuard& guard, const JobEvents& events,
             uint16_t copies, uint32_t max_pages, std::function<void(uint32_t page)> page_ended)
      : job_(job),
        printer_(printer),
        guard_(guard),
        events_(events),
        copies_(copies),
        max_pages_(max_pages),
        page_ended_(std::move(page_ended)) {}

  void OnPclEvent(const pcl::PclEvent& e) override;

  // A job that ends inside a page (a header and nothing else).
  void Finish() { EndPage(); }

  // Pages started so far.
  uint32_t pages() const { return page_; }
  // A page beyond max_pages came.
  bool too_many_pages() const { return too_many_; }

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
  // Starts a page unless one is open; false for a page beyond the last.
  bool Begin();

  void* job_;
  HANDLE printer_;
  PageFileGuard& guard_;
  const JobEvents& events_;
  uint16_t copies_;
  uint32_t max_pages_;
  std::function<void(uint32_t page)> page_ended_;
  bool in_page_ = false;
  bool too_many_ = false;
  uint32_t page_ = 0;
};

// Streams every input of a PCL job through the job; returns the exit
// status so far.
int PlayInputs(const JobOptions& o, const JobInputs& job_inputs, HookPlayer& player,
               HANDLE printer, const JobEvents& events, const std::atomic<bool>* cancel);

}  // namespace pclspool::runner
