#include "input_kind.h"

#include <cstring>
#include <string>

namespace pclspool::filter {

namespace {

bool StartsWith(const uint8_t* bytes, std::size_t count, std::string_view prefix) {
  return count >= prefix.size() && std::memcmp(bytes, prefix.data(), prefix.size()) == 0;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace

InputKind KindOfContent(const uint8_t* bytes, std::size_t count) {
  if (count > kKindProbeBytes) count = kKindProbeBytes;
  // As CUPS types a PDF: line ends before "%PDF" are allowed.
  std::size_t i = 0;
  while (i < count && (bytes[i] == '\r' || bytes[i] == '\n')) ++i;
  if (StartsWith(bytes + i, count - i, "%PDF")) return InputKind::kPdf;
  // PostScript, also behind the ^D that some DOS-era drivers put first.
  if (StartsWith(bytes, count, "%!") || StartsWith(bytes, count, "\x04%!")) {
    return InputKind::kPostScript;
  }
  return InputKind::kPcl;
}

std::optional<InputKind> KindOfContentType(std::string_view type) {
  const std::string t = Lower(type);
  if (t == "application/pdf") return InputKind::kPdf;
  if (t == "application/postscript" || t == "application/vnd.adobe-reader-postscript") {
    return InputKind::kPostScript;
  }
  if (t == "application/vnd.cups-pcl" || t == "application/vnd.hp-pcl") return InputKind::kPcl;
  return std::nullopt;
}

}  // namespace pclspool::filter
