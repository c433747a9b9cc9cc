#include "document_kind.h"

#include <algorithm>
#include <string>

#include "input_kind.h"

namespace pclspool::filter {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

}  // namespace

InputKind KindOfContent(const uint8_t* bytes, std::size_t count) {
  // The runner's own rule, so that the filter maps the options for the
  // document the runner will print: anything it would not render is
  // passed on as PCL (or refused by the runner).
  switch (cli::SniffInput(bytes, std::min(count, kKindProbeBytes))) {
    case cli::InputKind::kPdf: return InputKind::kPdf;
    case cli::InputKind::kPostScript: return InputKind::kPostScript;
    default: return InputKind::kPcl;
  }
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
