#include "print_mapping.h"

#include <utility>

#include "job/paper.h"

namespace pclspool::filter {

namespace {

// The resolution the settings give page sizes in, and the one the rendering
// side renders at.
constexpr int kResolution = 600;
constexpr int kBookletBit = 0x0400;

int NupSetting(int number_up) {
  switch (number_up) {
    case 2:
      return 1;
    case 4:
      return 2;
    default:
      return 0;
  }
}

int DuplexSetting(Sides sides) {
  switch (sides) {
    case Sides::kLongEdge:
      return 1;
    case Sides::kShortEdge:
      return 2;
    case Sides::kOneSided:
      break;
  }
  return 0;
}

}  // namespace

bool PlacesPages(const JobRequest& r) { return r.kind != InputKind::kPcl; }

bool PrintsBooklet(const JobRequest& r) { return PlacesPages(r) && r.booklet; }

CopyPlan PlanCopies(const JobRequest& r) {
  if (r.copies <= 1) return {1, 1};
  if (r.collate || PrintsBooklet(r)) return {r.copies, 1};
  return {1, r.copies};
}

cli::PrintOptions MapRequest(const JobRequest& r, const std::string& ini) {
  cli::PrintOptions o;
  if (!r.input.empty()) o.inputs.push_back(r.input);
  o.ini = ini;
  o.job_id = r.job_id;
  o.watermark = r.watermark;

  const bool placed = PlacesPages(r);
  const bool booklet = PrintsBooklet(r);
  if (placed) o.page_ranges = r.page_ranges;

  const Paper* paper = PaperByCode(r.paper_code);
  if (!paper) paper = &DefaultPaper();
  // A booklet's sheets are folded along the middle: the back of each side
  // is printed turned over the short edge.
  const Sides sides = booklet ? Sides::kShortEdge : r.sides;

  const CopyPlan copies = PlanCopies(r);
  const bool module_copies = copies.collated > 1;
  o.printer_copies = static_cast<uint16_t>(copies.uncollated);

  auto set = [&o](const char* key, int value) {
    o.settings.emplace_back(key, std::to_string(value));
  };
  set("YRESOLUTION", kResolution);
  set("ORIENTATION", r.landscape ? 2 : 1);
  set("PAPER CODE", paper->dmPaper | (booklet ? kBookletBit : 0));
  set("XDIMENSION", DotsAt(paper->width300, kResolution));
  set("YDIMENSION", DotsAt(paper->height300, kResolution));
  set("TWOupFOUR", placed ? NupSetting(r.number_up) : 0);
  set("BOOKLET_STYLE", r.booklet_style);
  set("COPIES", copies.collated);
  set("FINISHER UNIT", module_copies ? 1 : 0);
  set("GROUPSORT", module_copies ? 1 : 0);
  set("DUPLEX UNIT", 1);
  set("DUPLEX", DuplexSetting(sides));
  return o;
}

}  // namespace pclspool::filter
