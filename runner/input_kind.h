// What kind of document an input holds, told from its first bytes rather
// than from its name: a printer-ready PJL/PCL job is passed through the
// hooks as it is; PDF and PostScript are rendered first.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pclspool::runner {

enum class InputKind : uint8_t {
  kEmpty,       // nothing but blanks: contributes no page
  kPcl,         // an escape sequence (a UEL, ESC E, ...) or a PJL line first
  kPdf,         // "%PDF-"
  kPostScript,  // "%!", or the binary header of a DOS EPS file
  kUnknown,     // none of these
};

// How much of an input's start SniffInput wants: Ghostscript accepts a PDF
// header anywhere in the first kilobyte.
inline constexpr std::size_t kSniffBytes = 1024;

// The kind of an input whose first `size` bytes are `head` (all of it when
// the input is shorter than kSniffBytes).
InputKind SniffInput(const uint8_t* head, std::size_t size);

// "PCL", "PDF", "PostScript", ... for messages.
const char* InputKindName(InputKind kind);

// PDF and PostScript are rendered by Ghostscript.
inline bool IsRendered(InputKind kind) {
  return kind == InputKind::kPdf || kind == InputKind::kPostScript;
}

}  // namespace pclspool::runner
