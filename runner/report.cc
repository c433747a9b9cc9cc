#include "runner/report.h"

#include <cstring>

namespace pclspool::runner {

std::string Reason(int err) { return std::strerror(err); }

std::string InputName(const std::string& input) { return input == "-" ? "standard input" : input; }

std::string Quoted(std::string_view text) {
  std::size_t keep = text.size();
  if (keep > kMaxQuotedBytes) {
    keep = kMaxQuotedBytes;
    // Back to the first byte of the character that the cut would split.
    while (keep > 0 && (static_cast<unsigned char>(text[keep]) & 0xC0) == 0x80) --keep;
  }
  std::string out;
  for (const char c : text.substr(0, keep)) {
    const auto u = static_cast<unsigned char>(c);
    out += u < 0x20 || u == 0x7F ? '?' : c;
  }
  if (keep < text.size()) out += "...";
  return out;
}

}  // namespace pclspool::runner
