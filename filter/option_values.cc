#include "option_values.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include "job_request.h"

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

// "'item' why". Built by appending: GCC 12 at -O3 takes "literal" +
// std::string&& for an overlapping copy (its bug 105329).
std::string About(std::string_view item, std::string_view why) {
  std::string s = "'";
  s.append(item);
  s += "' ";
  s.append(why);
  return s;
}

bool Refuse(std::string_view option, std::string_view text, std::string_view why,
            std::string* error) {
  *error = std::string(option) + "=" + std::string(text) + ": " + std::string(why);
  return false;
}

}  // namespace

bool ParseCopies(std::string_view text, int* copies, std::string* error) {
  int n = 0;
  if (!ParseDecimal(text, &n) || n < 1)
    return Refuse("copies", text, "not a number of copies", error);
  if (n > kMaxCopies) {
    return Refuse("copies", text,
                  "this printer makes at most " + std::to_string(kMaxCopies) + " copies", error);
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
  // The largest IPP integer: lp sends an open range "5-" as 5-2147483647.
  constexpr uint64_t kEnd = std::numeric_limits<int32_t>::max();
  std::string list;
  uint64_t next = 1;  // the lowest page the next range may start at
  std::size_t count = 0;
  std::string_view rest = text;
  while (true) {
    const std::size_t comma = rest.find(',');
    const std::string_view item = Trim(rest.substr(0, comma));
    if (++count > kMaxPageRanges) {
      return Refuse("page-ranges", text, "more than " + std::to_string(kMaxPageRanges) + " ranges",
                    error);
    }
    uint64_t first = 1;
    uint64_t last = kEnd;
    const std::size_t dash = item.find('-');
    bool ok;
    if (dash == std::string_view::npos) {
      ok = ParseDecimal(item, &first);
      last = first;
    } else {
      const std::string_view from = Trim(item.substr(0, dash));
      const std::string_view to = Trim(item.substr(dash + 1));
      ok = !(from.empty() && to.empty()) && (from.empty() || ParseDecimal(from, &first)) &&
           (to.empty() || ParseDecimal(to, &last));
    }
    if (!ok || first == 0 || first > kEnd) {
      return Refuse("page-ranges", text, About(item, "is not a page range"), error);
    }
    if (last < first) {
      return Refuse("page-ranges", text, About(item, "ends before it begins"), error);
    }
    if (first < next || next > kEnd) {
      return Refuse("page-ranges", text, About(item, "is not after the range before it"), error);
    }
    if (!list.empty()) list += ',';
    list += std::to_string(first);
    if (last >= kEnd) {
      list += '-';
    } else if (last != first) {
      list += '-';
      list += std::to_string(last);
    }
    next = last + 1;
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  *page_list = std::move(list);
  return true;
}

bool ParseOrientation(std::string_view text, bool* landscape, std::string* error) {
  int n = 0;
  if (!ParseDecimal(text, &n) || n < 3 || n > 6) {
    return Refuse("orientation-requested", text,
                  "not 3 (portrait), 4 (landscape), 5 or 6 (reversed)", error);
  }
  *landscape = n == 4 || n == 5;
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
