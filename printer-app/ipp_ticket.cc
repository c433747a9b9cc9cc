#include "printer-app/ipp_ticket.h"

#include <climits>
#include <cstring>

#include "printer-app/copier_media.h"
#include "printer-app/vendor_attributes.h"
#include "runner/page_ranges.h"
#include "runner/report.h"

namespace pclspool::app {

namespace {

using runner::JobTicket;

template <typename T>
struct Keyword {
  const char* name;
  T value;
};

constexpr Keyword<runner::NupLayout> kLayouts[] = {
    {"lrtb", runner::NupLayout::kLrtb}, {"lrbt", runner::NupLayout::kLrbt},
    {"rltb", runner::NupLayout::kRltb}, {"rlbt", runner::NupLayout::kRlbt},
    {"tblr", runner::NupLayout::kTblr}, {"tbrl", runner::NupLayout::kTbrl},
    {"btlr", runner::NupLayout::kBtlr}, {"btrl", runner::NupLayout::kBtrl}};
constexpr Keyword<runner::PageSet> kPageSets[] = {{"all", runner::PageSet::kAll},
                                                  {"odd", runner::PageSet::kOdd},
                                                  {"even", runner::PageSet::kEven}};
constexpr Keyword<bool> kOutputOrders[] = {{"normal", false}, {"reverse", true}};
constexpr Keyword<bool> kPageBorders[] = {{"none", false}, {"single", true}};
// booklet: none, or bound on the left (style 0) or the right (style 1).
constexpr Keyword<int> kBooklets[] = {{"none", -1}, {"left", 0}, {"right", 1}};
// multiple-document-handling: whether each copy is a whole document.
constexpr Keyword<bool> kDocumentHandling[] = {
    {"separate-documents-collated-copies", true},
    {"separate-documents-uncollated-copies", false},
    {"single-document", true},
    {"single-document-new-sheet", true}};

// The job's attribute, else the printer's default.
ipp_attribute_t* Value(const JobAttributes& a, const char* name) {
  ipp_attribute_t* attr = a.job ? a.job(name) : nullptr;
  if (!attr && a.printer_default) attr = a.printer_default(name);
  return attr;
}

// The value as a message quotes it: the message becomes the job's
// job-state-message and a line of the log, so a client's text never
// starts a line of its own there.
std::string Describe(ipp_attribute_t* attr) {
  char text[256];
  ippAttributeString(attr, text, sizeof(text));
  return runner::Quoted(text);
}

bool Unsupported(const char* name, ipp_attribute_t* attr, std::string* error) {
  *error = std::string(name) + "=" + Describe(attr) + ": not a value the copier takes";
  return false;
}

// A keyword attribute through its table; absent leaves *value.
template <typename T, std::size_t N>
bool ReadKeyword(const JobAttributes& a, const char* name, const Keyword<T> (&table)[N], T* value,
                 std::string* error) {
  ipp_attribute_t* attr = Value(a, name);
  if (!attr) return true;
  const char* s = ippGetString(attr, 0, nullptr);
  if (ippGetCount(attr) == 1 && s) {
    for (const Keyword<T>& k : table) {
      if (std::strcmp(k.name, s) == 0) {
        *value = k.value;
        return true;
      }
    }
  }
  return Unsupported(name, attr, error);
}

bool ReadNumberUp(const JobAttributes& a, JobTicket* t, std::string* error) {
  ipp_attribute_t* attr = Value(a, kNumberUp);
  if (!attr) return true;
  const int n = ippGetInteger(attr, 0);
  if (ippGetValueTag(attr) != IPP_TAG_INTEGER || ippGetCount(attr) != 1 ||
      (n != 1 && n != 2 && n != 4)) {
    return Unsupported(kNumberUp, attr, error);
  }
  t->number_up = n;
  return true;
}

bool ReadWatermark(const JobAttributes& a, const std::vector<std::string>& keywords, JobTicket* t,
                   std::string* error) {
  ipp_attribute_t* attr = Value(a, kWatermark);
  if (!attr) return true;
  const char* s = ippGetCount(attr) == 1 ? ippGetString(attr, 0, nullptr) : nullptr;
  if (s && std::strcmp(s, kNoWatermark) == 0) {
    t->watermark = 0;
    return true;
  }
  for (std::size_t i = 0; s && i < keywords.size(); ++i) {
    if (keywords[i] == s) {
      t->watermark = static_cast<uint16_t>(i + 1);
      return true;
    }
  }
  // Printed without it, the job would look like what it is not.
  *error = std::string(kWatermark) + "=" + Describe(attr) +
           ": the settings file has no such watermark text";
  return false;
}

bool ReadPageRanges(const JobAttributes& a, JobTicket* t, std::string* error) {
  ipp_attribute_t* attr = a.job ? a.job("page-ranges") : nullptr;
  if (!attr) return true;
  std::string list;
  for (int i = 0; i < ippGetCount(attr); ++i) {
    int upper = 0;
    const int lower = ippGetRange(attr, i, &upper);
    if (!list.empty()) list += ",";
    // An open end ("5-") arrives as the largest integer.
    list += std::to_string(lower) + "-" + (upper == INT_MAX ? "" : std::to_string(upper));
  }
  std::string why;
  if (ippGetValueTag(attr) != IPP_TAG_RANGE ||
      !runner::ParsePageRanges(list, &t->page_ranges, &why)) {
    *error = "page-ranges=" + Describe(attr) + ": " + (why.empty() ? "not ranges" : why);
    return false;
  }
  return true;
}

Scaling ScalingOf(pappl_scaling_t s) {
  switch (s) {
    case PAPPL_SCALING_AUTO_FIT:
      return Scaling::kAutoFit;
    case PAPPL_SCALING_FILL:
      return Scaling::kFill;
    case PAPPL_SCALING_FIT:
      return Scaling::kFit;
    case PAPPL_SCALING_NONE:
      return Scaling::kNone;
    default:
      return Scaling::kAuto;
  }
}

}  // namespace

bool ReadJobTicket(const JobAttributes& a, const std::vector<std::string>& watermark_keywords,
                   runner::JobTicket* ticket, Scaling* scaling, std::string* error) {
  JobTicket t;
  if (a.copies < 1 || a.copies > runner::MaxCopies()) {
    *error = "copies=" + std::to_string(a.copies) + ": the copier makes 1 to " +
             std::to_string(runner::MaxCopies());
    return false;
  }
  t.copies = a.copies;
  t.paper = PaperOfMedia(a.media);
  if (t.paper.empty()) {
    *error = "media=" + runner::Quoted(a.media) + ": not a paper the copier has";
    return false;
  }
  switch (a.orientation) {
    case IPP_ORIENT_LANDSCAPE:
    case IPP_ORIENT_REVERSE_LANDSCAPE:
    case IPP_ORIENT_REVERSE_PORTRAIT:
      t.orientation = static_cast<runner::Orientation>(a.orientation);
      break;
    default:  // portrait, or none: the document's own
      t.orientation = runner::Orientation::kPortrait;
      break;
  }
  t.sides = a.sides == PAPPL_SIDES_TWO_SIDED_LONG_EDGE    ? runner::Sides::kLongEdge
            : a.sides == PAPPL_SIDES_TWO_SIDED_SHORT_EDGE ? runner::Sides::kShortEdge
                                                          : runner::Sides::kOneSided;
  bool collated = true;
  int booklet = -1;
  if (!ReadKeyword(a, "multiple-document-handling", kDocumentHandling, &collated, error) ||
      !ReadNumberUp(a, &t, error) ||
      !ReadKeyword(a, kNumberUpLayout, kLayouts, &t.number_up_layout, error) ||
      !ReadKeyword(a, kBooklet, kBooklets, &booklet, error) ||
      !ReadKeyword(a, kPageSet, kPageSets, &t.page_set, error) ||
      !ReadKeyword(a, kOutputOrder, kOutputOrders, &t.reverse_order, error) ||
      !ReadKeyword(a, kPageBorder, kPageBorders, &t.page_border, error) ||
      !ReadWatermark(a, watermark_keywords, &t, error) || !ReadPageRanges(a, &t, error)) {
    return false;
  }
  t.collate = collated;
  t.documents =
      collated ? runner::DocumentCopies::kCollated : runner::DocumentCopies::kUncollated;
  t.booklet = booklet >= 0;
  t.booklet_style = static_cast<uint16_t>(booklet >= 0 ? booklet : 0);
  *ticket = t;
  *scaling = ScalingOf(a.scaling);
  return true;
}

}  // namespace pclspool::app
