#include "filter/option_values.h"

#include <cctype>
#include <charconv>
#include <cstdint>
#include <utility>

#include "runner/page_ranges.h"
#include "runner/report.h"

namespace pclspool::filter {

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A whole decimal number, nothing before or after it.
template <typename T>
bool ParseDecimal(std::string_view text, T* value) {
  text = Trim(text);
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, *value);
  return ec == std::errc() && ptr == end;
}

bool Refuse(std::string_view option, std::string_view text, std::string_view why,
            std::string* error) {
  *error = std::string(option) + "=" + runner::Quoted(text) + ": " + std::string(why);
  return false;
}

}  // namespace

bool ParseCopies(std::string_view text, int* copies, std::string* error) {
  int n = 0;
  if (!ParseDecimal(text, &n) || n < 1)
    return Refuse("copies", text, "not a number of copies", error);
  if (n > runner::MaxCopies()) {
    return Refuse("copies", text,
                  "this printer makes at most " + std::to_string(runner::MaxCopies()) + " copies", error);
  }
  *copies = n;
  return true;
}

bool ParseNumberUp(std::string_view text, int* number_up, std::string* error) {
  int n = 0;
  if (!ParseDecimal(text, &n) || (n != 1 && n != 2 && n != 4)) {
    return Refuse("number-up", text, "this printer prints 1, 2 or 4 pages on a side", error);
  }
  *number_up = n;
  return true;
}

bool ParsePageRanges(std::string_view text, std::string* page_list, std::string* error) {
  // lp sends an open range "5-" as 5-2147483647, the largest IPP integer:
  // the end of the document, which the page list writes "5-".
  constexpr std::string_view kIppEnd = "-2147483647";
  std::string ranges;
  std::string_view rest = text;
  while (true) {
    const std::size_t comma = rest.find(',');
    std::string_view item = Trim(rest.substr(0, comma));
    if (item.size() > kIppEnd.size() && item.ends_with(kIppEnd)) {
      item.remove_suffix(kIppEnd.size() - 1);
    }
    ranges.append(item);
    if (comma == std::string_view::npos) break;
    ranges += ',';
    rest.remove_prefix(comma + 1);
  }
  std::string list;
  std::string why;
  if (!runner::ParsePageRanges(ranges, &list, &why)) return Refuse("page-ranges", text, why, error);
  *page_list = std::move(list);
  return true;
}

bool ParseOrientation(std::string_view text, runner::Orientation* orientation,
                      std::string* error) {
  int n = 0;
  if (!ParseDecimal(text, &n) || n < 3 || n > 6) {
    return Refuse("orientation-requested", text,
                  "not 3 (portrait), 4 (landscape), 5 or 6 (reversed)", error);
  }
  *orientation = static_cast<runner::Orientation>(n);
  return true;
}

namespace {

// The value of `table` whose name the text is, in any case.
template <typename T, std::size_t N>
bool Lookup(const std::pair<std::string_view, T> (&table)[N], std::string_view text, T* value) {
  for (const auto& [name, v] : table) {
    if (EqualsIgnoringCase(Trim(text), name)) {
      *value = v;
      return true;
    }
  }
  return false;
}

}  // namespace

bool ParsePageSet(std::string_view text, runner::PageSet* set, std::string* error) {
  static constexpr std::pair<std::string_view, runner::PageSet> kSets[] = {
      {"all", runner::PageSet::kAll}, {"odd", runner::PageSet::kOdd}, {"even", runner::PageSet::kEven}};
  return Lookup(kSets, text, set) || Refuse("page-set", text, "not all, odd or even", error);
}

bool ParseOutputOrder(std::string_view text, bool* reverse, std::string* error) {
  static constexpr std::pair<std::string_view, bool> kOrders[] = {{"normal", false},
                                                                  {"reverse", true}};
  return Lookup(kOrders, text, reverse) || Refuse("outputorder", text, "not normal or reverse", error);
}

bool ParsePageBorder(std::string_view text, bool* border, std::string* error) {
  static constexpr std::pair<std::string_view, bool> kBorders[] = {
      {"none", false}, {"single", true}, {"single-thick", true}, {"double", true}, {"double-thick", true}};
  return Lookup(kBorders, text, border) ||
         Refuse("page-border", text, "not none, single, single-thick, double or double-thick", error);
}

bool ParseNumberUpLayout(std::string_view text, runner::NupLayout* layout, std::string* error) {
  std::string lower;
  for (char c : Trim(text)) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return runner::ParseNupLayout(lower, layout) ||
         Refuse("number-up-layout", text, "not lrtb, lrbt, rltb, rlbt, tblr, tbrl, btlr or btrl",
                error);
}

bool ParseDocumentHandling(std::string_view text, runner::DocumentCopies* documents,
                           std::string* error) {
  static constexpr std::pair<std::string_view, runner::DocumentCopies> kHandling[] = {
      {"separate-documents-collated-copies", runner::DocumentCopies::kCollated},
      {"single-document", runner::DocumentCopies::kCollated},
      {"single-document-new-sheet", runner::DocumentCopies::kCollated},
      {"separate-documents-uncollated-copies", runner::DocumentCopies::kUncollated}};
  return Lookup(kHandling, text, documents) ||
         Refuse("multiple-document-handling", text, "not a handling IPP names", error);
}

bool ParseSwitch(std::string_view option, std::string_view text, bool* on, std::string* error) {
  for (std::string_view yes : {"true", "yes", "on"}) {
    if (EqualsIgnoringCase(Trim(text), yes)) {
      *on = true;
      return true;
    }
  }
  for (std::string_view no : {"false", "no", "off"}) {
    if (EqualsIgnoringCase(Trim(text), no)) {
      *on = false;
      return true;
    }
  }
  return Refuse(option, text, "neither on nor off", error);
}

}  // namespace pclspool::filter
