// Spaces and tabs off both ends of an option's value or list item, as
// people type them.
#pragma once

#include <string_view>

namespace pclspool::runner {

inline std::string_view TrimBlanks(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

}  // namespace pclspool::runner
