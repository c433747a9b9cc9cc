#include "runner/page_ranges.h"

#include <charconv>

#include "runner/report.h"
#include "runner/trim_blanks.h"

namespace pclspool::runner {

namespace {

// A page number from 1 to kMaxPageNumber, digits only.
bool ReadPage(std::string_view s, uint32_t* page) {
  if (s.empty() || s.size() > 7) return false;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), *page);
  return ec == std::errc() && end == s.data() + s.size() && *page >= 1 && *page <= kMaxPageNumber;
}

// The message for a refused item. Out of line: GCC 12 takes the inlined
// concatenation for an overlapping copy (its bug 105329).
[[gnu::noinline]] bool Refuse(std::string_view item, const std::string& why, std::string* error) {
  std::string message = "'";
  message += Quoted(item);
  message += "' ";
  message += why;
  *error = std::move(message);
  return false;
}

}  // namespace

bool ParsePageRanges(std::string_view text, std::string* normalised, std::string* error) {
  normalised->clear();
  const auto fail = [&](std::string_view item, const std::string& why) {
    return Refuse(item, why, error);
  };
  if (TrimBlanks(text).empty()) return fail(text, "names no page");
  uint32_t last = 0;       // the highest page named so far
  bool open_end = false;   // a range "N-" came: nothing may follow
  int count = 0;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    const std::string_view item =
        TrimBlanks(text.substr(start, comma == std::string_view::npos ? std::string_view::npos
                                                                : comma - start));
    if (++count > kMaxPageRanges)
      return fail(item, "is one range too many (at most " + std::to_string(kMaxPageRanges) + ")");
    if (open_end) return fail(item, "follows a range that runs to the last page");
    const std::size_t dash = item.find('-');
    uint32_t from = 0;
    uint32_t to = 0;
    const std::string_view first = TrimBlanks(item.substr(0, dash));
    if (!ReadPage(first, &from))
      return fail(item, "is not a page number from 1 to " + std::to_string(kMaxPageNumber) +
                            " or a range N-M");
    if (dash == std::string_view::npos) {
      to = from;
    } else {
      const std::string_view second = TrimBlanks(item.substr(dash + 1));
      if (second.empty()) {
        open_end = true;
      } else if (!ReadPage(second, &to)) {
        return fail(item, "is not a range N-M of pages from 1 to " +
                              std::to_string(kMaxPageNumber));
      } else if (to < from) {
        return fail(item, "runs backwards");
      }
    }
    if (from <= last) return fail(item, "does not come after the pages before it");
    last = open_end ? from : to;
    if (!normalised->empty()) *normalised += ',';
    *normalised += std::to_string(from);
    if (open_end) {
      *normalised += '-';
    } else if (to != from) {
      normalised->append("-").append(std::to_string(to));
    }
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return true;
}

}  // namespace pclspool::runner
