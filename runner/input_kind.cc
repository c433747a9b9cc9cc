#include "runner/input_kind.h"

#include <algorithm>
#include <string_view>

namespace pclspool::runner {

namespace {

// White space, and the Ctrl-D that drivers put before PostScript to end
// any job the printer was still in.
bool IsBlank(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r') || c == 0x04; }

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

constexpr uint8_t kEsc = 0x1B;
// A DOS EPS file: a binary header before the PostScript section.
constexpr char kDosEps[] = "\xC5\xD0\xD3\xC6";

}  // namespace

InputKind SniffInput(const uint8_t* head, std::size_t size) {
  size = std::min(size, kSniffBytes);
  std::size_t i = 0;
  while (i < size && IsBlank(head[i])) ++i;
  if (i == size) return InputKind::kEmpty;
  const std::string_view rest(reinterpret_cast<const char*>(head + i), size - i);
  if (head[i] == kEsc || StartsWith(rest, "@PJL")) return InputKind::kPcl;
  if (StartsWith(rest, "%PDF-")) return InputKind::kPdf;
  if (StartsWith(rest, "%!") || StartsWith(rest, kDosEps)) return InputKind::kPostScript;
  // Some producers put a line or two before the PDF header; Ghostscript
  // reads such a file as PDF, and so do we. A file that started with an
  // escape sequence was taken as PCL above, whatever follows.
  const std::string_view all(reinterpret_cast<const char*>(head), size);
  if (all.find("%PDF-") != std::string_view::npos) return InputKind::kPdf;
  return InputKind::kUnknown;
}

const char* InputKindName(InputKind kind) {
  switch (kind) {
    case InputKind::kEmpty: return "empty";
    case InputKind::kPcl: return "PCL";
    case InputKind::kPdf: return "PDF";
    case InputKind::kPostScript: return "PostScript";
    case InputKind::kUnknown: break;
  }
  return "neither PCL, PDF nor PostScript";
}

}  // namespace pclspool::runner
