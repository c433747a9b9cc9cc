// CUPS's page accounting: one "PAGE: side copies" line for every printed
// side (an impression), with the number of times it is printed. Sides of a
// plain job are counted as their last page ends; the sides of a job whose
// pages are stored (collated copies, booklets) reach the printer only at
// the end of the job, and are counted then.
#pragma once

#include <cstdint>
#include <optional>

#include "job_request.h"

namespace pclspool::filter {

struct SheetPlan {
  uint32_t pages_per_side = 1;  // 1, 2 or 4; a booklet has 2
  bool booklet = false;
  bool stored = false;  // pages kept in page files and sent at the end
  uint32_t copies = 1;  // times each side is printed
};

SheetPlan PlanSheets(const JobRequest& request);

struct PageLine {
  uint32_t side;
  uint32_t copies;
};

// The side that ends with page `page` (1-based) of a job whose sides are
// printed as they come; none while a side is still filling, and none for
// stored jobs.
std::optional<PageLine> SideEndedBy(uint32_t page, const SheetPlan& plan);

// The sides not counted while the pages came: first to last (none when
// first > last), each printed `copies` times. For a plain job the last
// side, when pages did not fill it; for a stored job every side.
struct SideRange {
  uint32_t first;
  uint32_t last;
  uint32_t copies;
};
SideRange SidesAtEnd(uint32_t pages, const SheetPlan& plan);

}  // namespace pclspool::filter
