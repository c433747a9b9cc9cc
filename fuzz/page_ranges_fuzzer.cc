// The page selection of a rendered job (runner/page_ranges) on arbitrary
// text, as --page-ranges and the CUPS filter's page-ranges hand it over.
// Beyond not crashing: an accepted selection comes back in Ghostscript's
// form (numbers from 1 to the limit, increasing, an open range only last,
// no more ranges than the limit) and reads back as itself; a refused one
// gets a message of one bounded line.
//
// Input: the selection's text, whole.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "runner/page_ranges.h"
#include "runner/report.h"

namespace {

using namespace pclspool::runner;

// A message that quotes the text: one line, the quote cut short.
void CheckMessage(const std::string& error) {
  FUZZ_CHECK(!error.empty());
  FUZZ_CHECK(error.size() <= 3 * kMaxQuotedBytes + 100);
  for (const char c : error) FUZZ_CHECK(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F);
}

// Reads a number of the normalised list at *at; 0 when there is none.
uint32_t Number(std::string_view list, std::size_t* at) {
  uint64_t n = 0;
  const std::size_t start = *at;
  while (*at < list.size() && list[*at] >= '0' && list[*at] <= '9') {
    n = n * 10 + static_cast<uint64_t>(list[*at] - '0');
    FUZZ_CHECK(n <= kMaxPageNumber);
    ++*at;
  }
  FUZZ_CHECK(*at > start && list[start] != '0');
  return static_cast<uint32_t>(n);
}

void CheckNormalised(std::string_view list) {
  std::size_t at = 0;
  uint32_t last = 0;
  int ranges = 0;
  bool open_end = false;
  while (at < list.size()) {
    FUZZ_CHECK(!open_end);
    FUZZ_CHECK(++ranges <= kMaxPageRanges);
    const uint32_t from = Number(list, &at);
    FUZZ_CHECK(from > last);
    last = from;
    if (at < list.size() && list[at] == '-') {
      ++at;
      if (at == list.size() || list[at] == ',') {
        open_end = true;
      } else {
        const uint32_t to = Number(list, &at);
        FUZZ_CHECK(to > from);
        last = to;
      }
    }
    if (at < list.size()) {
      FUZZ_CHECK(list[at] == ',');
      ++at;
      FUZZ_CHECK(at < list.size());
    }
  }
  FUZZ_CHECK(ranges > 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string list = "left over";
  std::string error;
  if (!ParsePageRanges(text, &list, &error)) {
    CheckMessage(error);
    return 0;
  }
  CheckNormalised(list);
  std::string again;
  FUZZ_CHECK(ParsePageRanges(list, &again, &error));
  FUZZ_CHECK(again == list);
  return 0;
}
