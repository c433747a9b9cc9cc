#include "page_accounting.h"

#include "print_mapping.h"

namespace pclspool::filter {

namespace {

uint32_t CeilDiv(uint32_t a, uint32_t b) { return a / b + (a % b != 0 ? 1 : 0); }

// Sides of one copy of a job of `pages` pages.
uint32_t SidesOf(uint32_t pages, const SheetPlan& plan) {
  // A booklet sheet holds four pages, two on each side, and both sides
  // are printed even when the last pages are blank.
  if (plan.booklet) return 2 * CeilDiv(pages, 4);
  return CeilDiv(pages, plan.pages_per_side);
}

}  // namespace

SheetPlan PlanSheets(const JobRequest& r) {
  const CopyPlan copies = PlanCopies(r);
  SheetPlan plan;
  plan.booklet = PrintsBooklet(r);
  plan.pages_per_side = plan.booklet ? 2 : PlacesPages(r) ? static_cast<uint32_t>(r.number_up) : 1;
  plan.stored = plan.booklet || copies.collated > 1;
  plan.copies = static_cast<uint32_t>(copies.collated * copies.uncollated);
  return plan;
}

std::optional<PageLine> SideEndedBy(uint32_t page, const SheetPlan& plan) {
  if (plan.stored || page == 0 || page % plan.pages_per_side != 0) return std::nullopt;
  return PageLine{page / plan.pages_per_side, plan.copies};
}

SideRange SidesAtEnd(uint32_t pages, const SheetPlan& plan) {
  const uint32_t sides = SidesOf(pages, plan);
  if (plan.stored) return {1, sides, plan.copies};
  if (pages % plan.pages_per_side != 0) return {sides, sides, plan.copies};
  return {1, 0, plan.copies};
}

}  // namespace pclspool::filter
