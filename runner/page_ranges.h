// A page selection such as "1-3,7,10-": the pages of a rendered document
// that are printed, in the form Ghostscript's PageList takes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace pclspool::runner {

// Ranges in one selection, and the highest page number one may name.
inline constexpr int kMaxPageRanges = 256;
inline constexpr uint32_t kMaxPageNumber = 1000000;

// Reads a comma-separated list of pages N, ranges N-M and open ranges N-
// (page N to the end), numbered from 1, in increasing order without
// overlaps (as Ghostscript requires). On success *normalised holds the
// list without blanks; otherwise *error says what is wrong and where.
bool ParsePageRanges(std::string_view text, std::string* normalised, std::string* error);

}  // namespace pclspool::runner
