#include "filter/option_values.h"

#include <charconv>
#include <cstdint>

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
