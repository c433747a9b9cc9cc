#include "runner/job_catalogue.h"

#include <algorithm>
#include <charconv>

#include "runner/page_ranges.h"
#include "runner/report.h"
#include "runner/trim_blanks.h"

namespace pclspool::runner {

namespace {

bool SameWord(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// Whether `word` is one of the blank-separated `words`.
bool AmongWords(std::string_view words, std::string_view word) {
  while (!words.empty()) {
    const std::size_t blank = std::min(words.find(' '), words.size());
    if (SameWord(words.substr(0, blank), word)) return true;
    words.remove_prefix(std::min(blank + 1, words.size()));
  }
  return false;
}

std::string_view FirstWord(std::string_view words) { return words.substr(0, words.find(' ')); }

// The index of the value a text names (its keyword or one of its names,
// in any case); -1 for none.
int IndexOf(std::span<const OptionValue> values, std::string_view text) {
  text = TrimBlanks(text);
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (SameWord(values[i].keyword, text) || AmongWords(values[i].names, text)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

template <typename T>
bool Decimal(std::string_view text, T* value) {
  text = TrimBlanks(text);
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, *value);
  return !text.empty() && ec == std::errc() && ptr == end;
}

// "a, b or c": the keywords of the values, for a message.
std::string Choices(std::span<const OptionValue> values) {
  std::string out;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += i + 1 == values.size() ? " or " : ", ";
    out += values[i].keyword;
  }
  return out;
}

// An entry whose values are those of an enumeration, in its order.
template <typename T>
bool ReadEnum(std::span<const OptionValue> values, std::string_view text, T* field,
              std::string* why) {
  const int i = IndexOf(values, text);
  if (i < 0) {
    *why = "not " + Choices(values);
    return false;
  }
  *field = static_cast<T>(i);
  return true;
}

template <typename T>
std::string WriteEnum(std::span<const OptionValue> values, T field) {
  return std::string(values[static_cast<std::size_t>(field)].keyword);
}

bool Switch(std::string_view text, bool* on) {
  static constexpr OptionValue kSwitch[] = {{"false", "", "no off"}, {"true", "", "yes on"}};
  const int i = IndexOf(kSwitch, text);
  if (i >= 0) *on = i == 1;
  return i >= 0;
}

// --- the values ---

constexpr OptionValue kCollate[] = {{"false", "Uncollated copies", "no off"},
                                    {"true", "Collated copies", "yes on"}};
constexpr PpdChoice kCollateChoices[] = {{"True", "On", "true"}, {"False", "Off", "false"}};

// As CUPS sends it for Collate off (its ipp backend, and cupsMarkOptions
// for a PPD queue), separate-documents-uncollated-copies turns collation
// off unless the job asks for it: each sheet repeated, and of several
// documents, each document's copies together.
constexpr OptionValue kDocumentHandling[] = {
    {"separate-documents-collated-copies", "Collated copies", "collated"},
    {"separate-documents-uncollated-copies", "Uncollated copies", "uncollated"},
    {"single-document", "One document"},
    {"single-document-new-sheet", "One document, each on a new sheet"}};

// The papers of the module's table; the first name is the table's.
constexpr OptionValue kMedia[] = {{"iso_a4_210x297mm", "A4", "a4"},
                                  {"na_letter_8.5x11in", "US Letter", "letter"},
                                  {"na_legal_8.5x14in", "US Legal", "legal"},
                                  {"iso_a3_297x420mm", "A3", "a3"}};
constexpr PpdChoice kPageSizes[] = {{"Letter", "US Letter", "letter"},
                                    {"Legal", "US Legal", "legal"},
                                    {"A4", "A4", "a4"},
                                    {"A3", "A3", "a3"}};

// In the order of Sides.
constexpr OptionValue kSides[] = {{"one-sided", "Off"},
                                  {"two-sided-long-edge", "Long Edge"},
                                  {"two-sided-short-edge", "Short Edge"}};
constexpr PpdChoice kDuplexChoices[] = {{"None", "Off", "one-sided"},
                                        {"DuplexNoTumble", "Long Edge", "two-sided-long-edge"},
                                        {"DuplexTumble", "Short Edge", "two-sided-short-edge"}};

// IPP's enum values, 3 to 6.
constexpr OptionValue kOrientations[] = {{"3", "Portrait", "portrait"},
                                         {"4", "Landscape", "landscape"},
                                         {"5", "Reverse landscape", "reverse-landscape"},
                                         {"6", "Reverse portrait", "reverse-portrait"}};

constexpr OptionValue kSwitchOn[] = {{"true", "On", "yes on"}, {"false", "Off", "no off"}};

constexpr OptionValue kNumberUp[] = {{"1", "1"}, {"2", "2"}, {"4", "4"}};

// In the order of NupLayout.
constexpr OptionValue kLayouts[] = {{"lrtb", "Left to right, top to bottom"},
                                    {"lrbt", "Left to right, bottom to top"},
                                    {"rltb", "Right to left, top to bottom"},
                                    {"rlbt", "Right to left, bottom to top"},
                                    {"tblr", "Top to bottom, left to right"},
                                    {"tbrl", "Top to bottom, right to left"},
                                    {"btlr", "Bottom to top, left to right"},
                                    {"btrl", "Bottom to top, right to left"}};

// In the order of PageSet.
constexpr OptionValue kPageSets[] = {
    {"all", "All pages"}, {"odd", "Odd pages only"}, {"even", "Even pages only"}};

constexpr OptionValue kOutputOrders[] = {{"normal", "First page first"},
                                         {"reverse", "Last page first"}};

// CUPS's borders are all printed as one thin frame.
constexpr OptionValue kPageBorders[] = {
    {"none", "None"}, {"single", "A thin frame", "single-thick double double-thick"}};

// A booklet, bound on the left (odd pages on the right, BOOKLET_STYLE 0)
// or on the right (1); "on" keeps the binding as it stands.
constexpr OptionValue kBooklets[] = {{"none", "No booklet", "off false no"},
                                     {"left", "Booklet bound on the left"},
                                     {"right", "Booklet bound on the right"}};
constexpr PpdChoice kBookletChoices[] = {{"Off", "Off", "none"}, {"On", "On", "on"}};
constexpr OptionValue kBindings[] = {{"left", "Bound on the left (odd pages on the right)"},
                                     {"right", "Bound on the right (odd pages on the left)"}};
constexpr PpdChoice kBindEdgeChoices[] = {
    {"Left", "Bound on the left (odd pages on the right)", "left"},
    {"Right", "Bound on the right (odd pages on the left)", "right"}};

// IPP's finishings: booklet-maker (13) is a booklet; the rest the copier
// cannot do, and a value it cannot do is left out, never refused (iOS
// sends staple and punch whatever the printer lists).
constexpr int kFinishingsBookletMaker = 13;
constexpr OptionValue kFinishings[] = {{"3", "None"}, {"13", "Booklet"}};

// The PPD's choices: None, then the texts 1 to 9 of the settings file
// (its driver program labels them with the texts).
constexpr PpdChoice kWatermarkChoices[] = {
    {"None", "None", "none"},
    {"1", "Text 1 of the settings file", "1"}, {"2", "Text 2 of the settings file", "2"},
    {"3", "Text 3 of the settings file", "3"}, {"4", "Text 4 of the settings file", "4"},
    {"5", "Text 5 of the settings file", "5"}, {"6", "Text 6 of the settings file", "6"},
    {"7", "Text 7 of the settings file", "7"}, {"8", "Text 8 of the settings file", "8"},
    {"9", "Text 9 of the settings file", "9"}};

// In the order of Scaling.
constexpr OptionValue kScalings[] = {
    {"auto", "Auto"}, {"auto-fit", "Auto-fit"}, {"fit", "Fit"}, {"fill", "Fill"}, {"none", "None"}};

// --- reading and writing each entry ---

bool ReadCopies(std::string_view v, TicketReader& r, std::string* why) {
  int n = 0;
  if (!Decimal(v, &n) || n < 1 || n > MaxCopies()) {
    *why = "the copier makes 1 to " + std::to_string(MaxCopies()) + " copies";
    return false;
  }
  r.ticket().copies = n;
  return true;
}

bool ReadCollate(std::string_view v, TicketReader& r, std::string* why) {
  const int i = IndexOf(kCollate, v);
  if (i < 0) *why = "neither on nor off";
  if (i >= 0) r.ticket().collate = i == 1;
  return i >= 0;
}

bool ReadDocumentHandling(std::string_view v, TicketReader& r, std::string* why) {
  const int i = IndexOf(kDocumentHandling, v);
  if (i < 0) {
    *why = "not a handling IPP names";
    return false;
  }
  const bool uncollated = i == 1;
  r.ticket().documents = uncollated ? DocumentCopies::kUncollated : DocumentCopies::kCollated;
  if (uncollated && !r.Named("collate")) r.ticket().collate = false;
  return true;
}

bool ReadMedia(std::string_view v, TicketReader& r, std::string* why) {
  const int i = IndexOf(kMedia, v);
  if (i < 0) {
    *why = "not a paper the copier has (A4, US Letter, US Legal or A3)";
    return false;
  }
  r.ticket().paper = FirstWord(kMedia[i].names);
  return true;
}

std::string WriteMedia(const JobTicket& t) {
  for (const OptionValue& m : kMedia) {
    if (FirstWord(m.names) == t.paper) return std::string(m.keyword);
  }
  return std::string(kMedia[0].keyword);
}

bool ReadOrientation(std::string_view v, TicketReader& r, std::string* why) {
  const int i = IndexOf(kOrientations, v);
  if (i < 0) {
    *why = "not 3 (portrait), 4 (landscape), 5 or 6 (reversed)";
    return false;
  }
  r.ticket().orientation = static_cast<Orientation>(i + 3);
  return true;
}

// "-o landscape", the older way, arrives as landscape=true.
bool ReadLandscape(std::string_view v, TicketReader& r, std::string* why) {
  bool on = false;
  if (!Switch(v, &on)) {
    *why = "neither on nor off";
    return false;
  }
  if (on) r.ticket().orientation = Orientation::kLandscape;
  return true;
}

bool ReadNumberUp(std::string_view v, TicketReader& r, std::string* why) {
  int n = 0;
  if (IndexOf(kNumberUp, v) < 0 || !Decimal(v, &n)) {
    *why = "the copier prints 1, 2 or 4 pages on a side";
    return false;
  }
  r.ticket().number_up = n;
  return true;
}

bool ReadOutputOrder(std::string_view v, TicketReader& r, std::string* why) {
  const int i = IndexOf(kOutputOrders, v);
  if (i < 0) *why = "not normal or reverse";
  if (i >= 0) r.ticket().reverse_order = i == 1;
  return i >= 0;
}

bool ReadPageBorder(std::string_view v, TicketReader& r, std::string* why) {
  const int i = IndexOf(kPageBorders, v);
  if (i < 0) *why = "not none, single, single-thick, double or double-thick";
  if (i >= 0) r.ticket().page_border = i == 1;
  return i >= 0;
}

bool ReadBinding(std::string_view v, TicketReader& r, std::string* why) {
  const int i = IndexOf(kBindings, v);
  if (i < 0) *why = "not left or right";
  if (i >= 0) r.ticket().booklet_style = static_cast<uint16_t>(i);
  return i >= 0;
}

bool ReadBooklet(std::string_view v, TicketReader& r, std::string* why) {
  JobTicket& t = r.ticket();
  bool on = false;
  const int i = IndexOf(kBooklets, v);
  if (i > 0) {
    t.booklet = true;
    t.booklet_style = static_cast<uint16_t>(i - 1);
  } else if (i == 0) {
    t.booklet = false;
  } else if (Switch(v, &on) && on) {
    t.booklet = true;
  } else {
    *why = "not none, left or right";
    return false;
  }
  return true;
}

std::string WriteBooklet(const JobTicket& t) {
  return std::string(t.booklet ? kBooklets[1 + (t.booklet_style ? 1 : 0)].keyword
                               : kBooklets[0].keyword);
}

bool ReadFinishings(std::string_view v, TicketReader& r, std::string* /*why*/) {
  for (std::size_t at = 0; at <= v.size();) {
    const std::size_t comma = std::min(v.find(',', at), v.size());
    int n = 0;
    if (Decimal(v.substr(at, comma - at), &n) && n == kFinishingsBookletMaker) {
      r.ticket().booklet = true;
    }
    at = comma + 1;
  }
  return true;
}

bool ReadWatermark(std::string_view v, TicketReader& r, std::string* why) {
  v = TrimBlanks(v);
  uint16_t n = 0;
  const std::vector<std::string>& keywords = r.watermark_keywords();
  const auto it = std::find(keywords.begin(), keywords.end(), v);
  if (SameWord(v, kNoWatermark)) {
    r.ticket().watermark = 0;
    return true;
  }
  if (it == keywords.end() && Decimal(v, &n)) {
    r.ticket().watermark = n;
    return true;
  }
  if (it == keywords.end()) {
    // Printed without it, the job would look like what it is not.
    *why = "the settings file has no such watermark text";
    return false;
  }
  r.ticket().watermark = static_cast<uint16_t>(it - keywords.begin() + 1);
  return true;
}

std::string WriteWatermark(const JobTicket& t) {
  return t.watermark == 0 ? std::string(kNoWatermark) : std::to_string(t.watermark);
}

bool ReadPageRanges(std::string_view v, TicketReader& r, std::string* why) {
  // An open range "5-" comes from IPP and lp as 5-2147483647, the largest
  // IPP integer: the end of the document, which the page list writes "5-".
  constexpr std::string_view kIppEnd = "-2147483647";
  std::string ranges;
  std::string_view rest = v;
  while (true) {
    const std::size_t comma = rest.find(',');
    std::string_view item = TrimBlanks(rest.substr(0, comma));
    if (item.size() > kIppEnd.size() && item.ends_with(kIppEnd)) {
      item.remove_suffix(kIppEnd.size() - 1);
    }
    ranges.append(item);
    if (comma == std::string_view::npos) break;
    ranges += ',';
    rest.remove_prefix(comma + 1);
  }
  return ParsePageRanges(ranges, &r.ticket().page_ranges, why);
}

// CUPS's own filters would mirror the pages; the copier's do not.
bool ReadMirror(std::string_view v, TicketReader& r, std::string* why) {
  bool on = false;
  if (!Switch(v, &on)) {
    *why = "neither on nor off";
    return false;
  }
  if (on) r.Note(NotApplied(*FindJobOption("mirror")));
  return true;
}

// The read and write functions of an entry whose values are an
// enumeration's, in its order.
#define PCLSPOOL_ENUM_ENTRY(table, field)                                 \
  .read = [](std::string_view v, TicketReader& r, std::string* why) {     \
    return ReadEnum(table, v, &r.ticket().field, why);                    \
  },                                                                      \
  .write = [](const JobTicket& t) { return WriteEnum(table, t.field); }

const JobOption kCatalogue[] = {
    {.name = "copies", .label = "Copies", .syntax = IppSyntax::kInteger,
     .app = AppAttribute::kPappl, .values = {}, .default_value = "1", .cups = "", .ppd = "",
     .ppd_label = "", .ppd_choices = {}, .flag = "--copies", .flag_value = "N", .flag_sets = "",
     .help = "copies of the job, 1 to 99\n", .read = ReadCopies,
     .write = [](const JobTicket& t) { return std::to_string(t.copies); }},
    {.name = "collate", .label = "Collate Copies", .syntax = IppSyntax::kKeyword,
     .app = AppAttribute::kNone, .values = kCollate, .default_value = "true", .cups = "collate",
     .ppd = "Collate", .ppd_label = "Collate Copies", .ppd_choices = kCollateChoices,
     .flag = "--collate", .flag_value = "yes|no", .flag_sets = "",
     .help = "collated copies, 1 2 1 2 (yes, the default), or not,\n"
             "1 1 2 2 (no)\n",
     .read = ReadCollate,
     .write = [](const JobTicket& t) { return std::string(t.collate ? "true" : "false"); }},
    {.name = "multiple-document-handling", .label = "Copies of several documents",
     .syntax = IppSyntax::kKeyword, .app = AppAttribute::kJob, .values = kDocumentHandling,
     .default_value = "separate-documents-collated-copies", .cups = "multiple-document-handling",
     .ppd = "", .ppd_label = "", .ppd_choices = {}, .flag = "--documents",
     .flag_value = "MODE", .flag_sets = "",
     .help = "copies of several inputs: collated (the default),\n"
             "A B A B; uncollated, each input's copies together,\n"
             "A A B B, its sheets uncollated but for --collate yes\n",
     .read = ReadDocumentHandling,
     .write = [](const JobTicket& t) {
       return std::string(kDocumentHandling[t.documents == DocumentCopies::kUncollated].keyword);
     }},
    {.name = "media", .label = "Media Size", .syntax = IppSyntax::kKeyword,
     .app = AppAttribute::kPappl, .values = kMedia, .default_value = "iso_a4_210x297mm",
     .cups = "", .ppd = "PageSize", .ppd_label = "Media Size", .ppd_choices = kPageSizes,
     .flag = "--paper", .flag_value = "NAME", .flag_sets = "",
     .help = "a4 (the default), letter, legal or a3\n", .read = ReadMedia, .write = WriteMedia},
    {.name = "sides", .label = "2-Sided Printing", .syntax = IppSyntax::kKeyword,
     .app = AppAttribute::kPappl, .values = kSides, .default_value = "one-sided", .cups = "",
     .ppd = "Duplex", .ppd_label = "2-Sided Printing", .ppd_choices = kDuplexChoices,
     .flag = "--sides", .flag_value = "NAME", .flag_sets = "",
     .help = "one-sided, two-sided-long-edge or two-sided-short-edge\n",
     PCLSPOOL_ENUM_ENTRY(kSides, sides)},
    {.name = "orientation-requested", .label = "Orientation", .syntax = IppSyntax::kEnum,
     .app = AppAttribute::kPappl, .values = kOrientations, .default_value = "3",
     .cups = "orientation-requested", .ppd = "", .ppd_label = "", .ppd_choices = {},
     .flag = "--orientation", .flag_value = "NAME", .flag_sets = "",
     .help = "PDF and PostScript: portrait, landscape,\n"
             "reverse-landscape or reverse-portrait (turned half\n"
             "a turn)\n",
     .read = ReadOrientation,
     .write = [](const JobTicket& t) { return std::to_string(static_cast<int>(t.orientation)); }},
    {.name = "landscape", .label = "Landscape", .syntax = IppSyntax::kKeyword,
     .app = AppAttribute::kNone, .values = kSwitchOn, .default_value = "", .cups = "landscape",
     .ppd = "", .ppd_label = "", .ppd_choices = {}, .flag = "", .flag_value = "", .flag_sets = "",
     .help = "", .read = ReadLandscape, .write = nullptr},
    {.name = "number-up", .label = "Pages per side", .syntax = IppSyntax::kInteger,
     .app = AppAttribute::kVendor, .values = kNumberUp, .default_value = "1",
     .cups = "number-up", .ppd = "", .ppd_label = "", .ppd_choices = {},
     .flag = "--number-up", .flag_value = "N", .flag_sets = "",
     .help = "PDF and PostScript: 1, 2 or 4 pages on a side\n", .read = ReadNumberUp,
     .write = [](const JobTicket& t) { return std::to_string(t.number_up); }},
    {.name = "number-up-layout", .label = "Order of the pages on a side",
     .syntax = IppSyntax::kKeyword, .app = AppAttribute::kVendor, .values = kLayouts,
     .default_value = "lrtb", .cups = "number-up-layout", .ppd = "", .ppd_label = "",
     .ppd_choices = {}, .flag = "--number-up-layout", .flag_value = "L", .flag_sets = "",
     .help = "the order of the pages on a sheet of two or four: lrtb\n"
             "(the default), lrbt, rltb, rlbt, tblr, tbrl, btlr, btrl\n",
     PCLSPOOL_ENUM_ENTRY(kLayouts, number_up_layout)},
    {.name = "page-set", .label = "Pages printed", .syntax = IppSyntax::kKeyword,
     .app = AppAttribute::kVendor, .values = kPageSets, .default_value = "all",
     .cups = "page-set", .ppd = "", .ppd_label = "", .ppd_choices = {},
     .flag = "--page-set", .flag_value = "odd|even", .flag_sets = "",
     .help = "PDF and PostScript: only the odd or the even sides\n",
     PCLSPOOL_ENUM_ENTRY(kPageSets, page_set)},
    {.name = "output-order", .label = "Output order", .syntax = IppSyntax::kKeyword,
     .app = AppAttribute::kVendor, .values = kOutputOrders, .default_value = "normal",
     .cups = "outputorder OutputOrder", .ppd = "", .ppd_label = "", .ppd_choices = {},
     .flag = "--reverse-order", .flag_value = "", .flag_sets = "reverse",
     .help = "PDF and PostScript: the last sheet first\n", .read = ReadOutputOrder,
     .write = [](const JobTicket& t) {
       return std::string(kOutputOrders[t.reverse_order ? 1 : 0].keyword);
     }},
    {.name = "page-border", .label = "Page borders", .syntax = IppSyntax::kKeyword,
     .app = AppAttribute::kVendor, .values = kPageBorders, .default_value = "none",
     .cups = "page-border", .ppd = "", .ppd_label = "", .ppd_choices = {},
     .flag = "--page-border", .flag_value = "", .flag_sets = "single",
     .help = "a thin frame around every page of a sheet of two or four\n",
     .read = ReadPageBorder,
     .write = [](const JobTicket& t) {
       return std::string(kPageBorders[t.page_border ? 1 : 0].keyword);
     }},
    // The binding before the booklet, whose "on" keeps it.
    {.name = "booklet-binding", .label = "Booklet Binding", .syntax = IppSyntax::kKeyword,
     .app = AppAttribute::kNone, .values = kBindings, .default_value = "left", .cups = "",
     .ppd = "BindEdge", .ppd_label = "Booklet Binding", .ppd_choices = kBindEdgeChoices,
     .flag = "", .flag_value = "", .flag_sets = "", .help = "", .read = ReadBinding,
     .write = nullptr},
    {.name = "booklet", .label = "Booklet", .syntax = IppSyntax::kKeyword,
     .app = AppAttribute::kVendor, .values = kBooklets, .default_value = "none",
     .cups = "booklet", .ppd = "Booklet", .ppd_label = "Booklet", .ppd_choices = kBookletChoices,
     .flag = "--booklet", .flag_value = "SIDE", .flag_sets = "",
     .help = "PDF and PostScript: a booklet to fold, bound on\n"
             "the left or the right (odd pages on the other\n"
             "side); none: no booklet\n",
     .read = ReadBooklet, .write = WriteBooklet},
    {.name = "finishings", .label = "Finishing", .syntax = IppSyntax::kEnum,
     .app = AppAttribute::kJob, .values = kFinishings, .default_value = "", .cups = "finishings",
     .ppd = "", .ppd_label = "", .ppd_choices = {}, .flag = "", .flag_value = "",
     .flag_sets = "", .help = "", .read = ReadFinishings, .write = nullptr},
    {.name = "watermark", .label = "Watermark", .syntax = IppSyntax::kKeyword,
     .app = AppAttribute::kVendor, .values = {}, .default_value = "none", .cups = "",
     .ppd = "Watermark", .ppd_label = "Watermark", .ppd_choices = kWatermarkChoices,
     .flag = "--watermark", .flag_value = "N", .flag_sets = "",
     .help = "the job's watermark text: N-th key of [StringSummary],\n"
             "0 for none\n",
     .read = ReadWatermark, .write = WriteWatermark},
    {.name = "page-ranges", .label = "Pages", .syntax = IppSyntax::kRanges,
     .app = AppAttribute::kJob, .values = {}, .default_value = "", .cups = "page-ranges",
     .ppd = "", .ppd_label = "", .ppd_choices = {}, .flag = "--page-ranges",
     .flag_value = "LIST", .flag_sets = "",
     .help = "PDF and PostScript: print only these pages, e.g.\n"
             "1-3,7,10- (increasing, from 1)\n",
     .read = ReadPageRanges, .write = [](const JobTicket& t) { return t.page_ranges; }},
    {.name = "print-scaling", .label = "Scaling", .syntax = IppSyntax::kKeyword,
     .app = AppAttribute::kPappl, .values = kScalings, .default_value = "auto",
     .cups = "print-scaling", .ppd = "", .ppd_label = "", .ppd_choices = {}, .flag = "",
     .flag_value = "", .flag_sets = "", .help = "",
     PCLSPOOL_ENUM_ENTRY(kScalings, scaling),
     .not_applied = "every page is scaled to fit its place on the sheet"},
    {.name = "mirror", .label = "Mirror", .syntax = IppSyntax::kKeyword,
     .app = AppAttribute::kNone, .values = kSwitchOn, .default_value = "", .cups = "mirror",
     .ppd = "", .ppd_label = "", .ppd_choices = {}, .flag = "", .flag_value = "",
     .flag_sets = "", .help = "", .read = ReadMirror, .write = nullptr,
     .not_applied = "pages print as they are"},
};

#undef PCLSPOOL_ENUM_ENTRY

// The help's flags and their values fill this many columns.
constexpr std::size_t kHelpColumn = 24;

}  // namespace

std::span<const JobOption> JobCatalogue() { return kCatalogue; }

const JobOption* FindJobOption(std::string_view name) {
  for (const JobOption& o : kCatalogue) {
    if (o.name == name || AmongWords(o.cups, name)) return &o;
  }
  return nullptr;
}

const JobOption* FindJobOptionByFlag(std::string_view flag) {
  for (const JobOption& o : kCatalogue) {
    if (!o.flag.empty() && o.flag == flag) return &o;
  }
  return nullptr;
}

std::string NotApplied(const JobOption& option) {
  return std::string(option.name) + " is not applied: " + std::string(option.not_applied);
}

std::string_view PpdChoiceValue(const JobOption& option, std::string_view choice) {
  for (const PpdChoice& c : option.ppd_choices) {
    if (SameWord(c.choice, choice)) return c.value;
  }
  return {};
}

std::vector<std::string> WatermarkKeywords(const std::vector<std::string>& texts) {
  std::vector<std::string> keywords;
  for (std::size_t i = 0; i < texts.size(); ++i) {
    std::string k;
    bool hyphen = false;
    for (const char ch : texts[i]) {
      const auto c = static_cast<unsigned char>(ch);
      if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) {
        if (hyphen && !k.empty()) k += '-';
        hyphen = false;
        k += static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
      } else {
        hyphen = true;
      }
    }
    const auto taken = [&](const std::string& s) {
      return s == kNoWatermark || std::find(keywords.begin(), keywords.end(), s) != keywords.end();
    };
    // Appended piece by piece: GCC 12 at -O3 takes "literal" + std::string
    // for overlapping copies (GCC bug 105329) and stops a Release build.
    const std::string number = std::to_string(i + 1);
    if (k.empty()) {
      k = "text";
      k.append("-").append(number);
    } else if (taken(k)) {
      k.append("-").append(number);
    }
    while (taken(k)) k.append("-").append(number);
    keywords.push_back(k);
  }
  return keywords;
}

TicketReader::TicketReader(std::vector<std::string> watermark_keywords)
    : keywords_(std::move(watermark_keywords)) {}

bool TicketReader::Read(const JobOption& option, std::string_view value, bool named,
                        std::string* error) {
  std::string why;
  if (!option.read(value, *this, &why)) {
    *error = std::string(option.name) + "=" + Quoted(value) + ": " + why;
    return false;
  }
  if (named) named_.emplace_back(option.name);
  return true;
}

bool TicketReader::Named(std::string_view option) const {
  return std::find(named_.begin(), named_.end(), option) != named_.end();
}

std::string WriteTicket(const JobTicket& ticket) {
  std::string line;
  for (const JobOption& o : kCatalogue) {
    const std::string value = o.write ? o.write(ticket) : "";
    if (value.empty()) continue;
    if (!line.empty()) line += ' ';
    line.append(o.name).append("=").append(value);
  }
  return line;
}

bool ReadTicket(std::string_view text, JobTicket* ticket, std::string* error) {
  TicketReader reader;
  while (!text.empty()) {
    const std::size_t blank = std::min(text.find(' '), text.size());
    const std::string_view word = text.substr(0, blank);
    text.remove_prefix(std::min(blank + 1, text.size()));
    const std::size_t eq = word.find('=');
    const JobOption* option = eq == std::string_view::npos ? nullptr : FindJobOption(word.substr(0, eq));
    if (!option || !option->write) {
      *error = "not an option of the ticket: " + Quoted(word);
      return false;
    }
    if (!reader.Read(*option, word.substr(eq + 1), true, error)) return false;
  }
  *ticket = reader.ticket();
  return true;
}

std::string JobOptionsHelp() {
  std::string help;
  for (const JobOption& o : kCatalogue) {
    if (o.flag.empty()) continue;
    std::string head = "  ";
    head.append(o.flag);
    if (!o.flag_value.empty()) head.append(" ").append(o.flag_value);
    std::string_view lines = o.help;
    bool first = true;
    while (!lines.empty()) {
      const std::size_t nl = std::min(lines.find('\n'), lines.size());
      if (first) {
        help += head + std::string(head.size() < kHelpColumn ? kHelpColumn - head.size() : 2, ' ');
      } else {
        help += std::string(kHelpColumn, ' ');
      }
      help.append(lines.substr(0, nl)).append("\n");
      lines.remove_prefix(std::min(nl + 1, lines.size()));
      first = false;
    }
  }
  return help;
}

}  // namespace pclspool::runner
