#include "runner/side_count.h"

namespace pclspool::runner {

namespace {

uint32_t CeilDiv(uint32_t a, uint32_t b) { return a / b + (a % b != 0 ? 1 : 0); }

// Sides of one copy of a job of `pages` pages.
uint32_t SidesOf(uint32_t pages, const SidePlan& plan) {
  // A booklet sheet holds four pages, two on each side, and both sides
  // are printed even when the last pages are blank.
  if (plan.booklet) return 2 * CeilDiv(pages, 4);
  return CeilDiv(pages, plan.pages_per_side);
}

}  // namespace

void SideCounter::PageEnded(uint32_t page) {
  if (plan_.stored || page == 0 || page % plan_.pages_per_side != 0) return;
  if (report_) report_(page / plan_.pages_per_side, plan_.copies);
}

void SideCounter::JobEnded(uint32_t pages) {
  if (!report_) return;
  const uint32_t sides = SidesOf(pages, plan_);
  uint32_t first = 1;
  if (!plan_.stored) {
    if (pages % plan_.pages_per_side == 0) return;
    first = sides;
  }
  for (uint32_t side = first; side <= sides && side != 0; ++side) report_(side, plan_.copies);
}

}  // namespace pclspool::runner
