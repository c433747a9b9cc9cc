// The job's printed sides (impressions), as a spooler accounts for them:
// one report for every side, with the number of times it is printed. Sides
// of a plain job are counted as their last page ends; the sides of a job
// whose pages are stored (collated copies, booklets) reach the printer
// only at the end of the job, and are counted then.
#pragma once

#include <cstdint>
#include <functional>

namespace pclspool::runner {

struct SidePlan {
  uint32_t pages_per_side = 1;  // 1, 2 or 4; a booklet has 2
  bool booklet = false;
  bool stored = false;  // pages kept in page files and sent at the end
  uint32_t copies = 1;  // times each side is printed
};

class SideCounter {
 public:
  using Report = std::function<void(uint32_t side, uint32_t copies)>;
  SideCounter(const SidePlan& plan, Report report) : plan_(plan), report_(std::move(report)) {}

  // Page `page` (1-based) has ended on the hooks.
  void PageEnded(uint32_t page);
  // The job has ended with `pages` pages printed: the sides not counted
  // yet (the last side of a plain job that pages did not fill; every side
  // of a stored job).
  void JobEnded(uint32_t pages);

 private:
  SidePlan plan_;
  Report report_;
};

}  // namespace pclspool::runner
