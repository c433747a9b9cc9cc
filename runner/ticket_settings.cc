#include "runner/ticket_settings.h"

#include <string>
#include <utility>

#include "host/host.h"
#include "runner/job_catalogue.h"

namespace pclspool::runner {

namespace {

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

int MaxCopies() { return host::kMaxCopies; }

bool IsKnownPaper(const std::string& paper) { return host::IsPaper(paper); }

CopyPlan PlanCopies(const JobTicket& t, InputKind kind) {
  if (t.copies <= 1) return {1, 1};
  if (t.collate || (t.booklet && PlacesPages(kind))) return {t.copies, 1};
  return {1, t.copies};
}

void ApplyTicket(const JobTicket& t, InputKind kind, JobOptions* o, std::string* left_out) {
  const bool placed = PlacesPages(kind);
  const bool booklet = placed && t.booklet;
  left_out->clear();
  const bool ordered = t.page_set != PageSet::kAll || t.reverse_order ||
                       t.number_up_layout != NupLayout::kLrtb || t.page_border;
  if (!placed && (t.number_up != 1 || t.booklet || !t.page_ranges.empty() || ordered ||
                  IsUpsideDown(t.orientation))) {
    *left_out = "A PCL job prints as it is: one page to a side, all its pages, in its order";
  } else if (booklet && ordered) {
    *left_out = "A booklet's sheets print in the booklet's order: page-set, output order, "
                "number-up layout and page borders are not applied to it";
  } else if (placed && t.scaling != Scaling::kAuto && t.scaling != Scaling::kAutoFit &&
             t.scaling != Scaling::kFit) {
    *left_out = NotApplied(*FindJobOption("print-scaling"));
  }
  o->watermark = t.watermark;
  o->page_ranges = placed ? t.page_ranges : "";
  if (placed && !booklet) {
    o->page_set = t.page_set;
    o->reverse_order = t.reverse_order;
    o->number_up_layout = t.number_up_layout;
    o->page_border = t.page_border;
  }
  o->upside_down = placed && IsUpsideDown(t.orientation);
  o->documents = t.documents;

  // A booklet's sheets are folded along the middle: the back of each side
  // is printed turned over the short edge.
  const Sides sides = booklet ? Sides::kShortEdge : t.sides;
  const CopyPlan copies = PlanCopies(t, kind);
  o->uncollated_copies = static_cast<uint16_t>(copies.uncollated);

  // Before the keys the job gives itself (the command's --set), which
  // stand over the ticket's.
  host::Choices choices;
  choices.paper = t.paper;
  choices.landscape = IsLandscape(t.orientation);
  choices.pages_per_side = placed ? t.number_up : 1;
  choices.booklet = booklet;
  choices.booklet_style = t.booklet_style;
  choices.copies = copies.collated;
  choices.duplex = DuplexSetting(sides);
  const host::Keys keys = host::SettingKeys(choices);
  o->settings.insert(o->settings.begin(), keys.begin(), keys.end());
}

std::string DescribeTicket(const JobTicket& t, InputKind kind) {
  std::string d = "Printing";
  // Appended piece by piece: GCC 12 at -O3 takes "literal" + std::string
  // for overlapping copies (GCC bug 105329) and stops a Release build.
  if (t.copies > 1) {
    d += ' ';
    d += std::to_string(t.copies);
    d += PlanCopies(t, kind).collated > 1 ? " collated copies" : " uncollated copies";
  }
  if (PlacesPages(kind) && t.booklet) {
    d += " as a booklet";
  } else if (PlacesPages(kind) && t.number_up > 1) {
    d += ", ";
    d += std::to_string(t.number_up);
    d += " pages a side";
  }
  if (PlacesPages(kind) && !t.booklet) {
    if (t.page_set != PageSet::kAll) d += t.page_set == PageSet::kOdd ? ", odd sides" : ", even sides";
    if (t.reverse_order) d += ", last sheet first";
  }
  if (t.watermark) d += ", watermark " + std::to_string(t.watermark);
  return d;
}

}  // namespace pclspool::runner
