// The character table: one entry per character of the watermark text, in
// text order, each with its soft-font character code, its pen advance and
// its rendered glyph metrics. Filled by the watermark set-up, walked by the
// drawing of every page.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/win_types.h"

namespace pclspool {

struct GlyphEntry {
  int32_t code;        // soft-font character code; 0 in the terminating entry
  uint16_t character;  // the text's UTF-16 code unit; 0 in the terminating entry
  int32_t advanceX;    // pen advance after the character, dots
  int32_t advanceY;
  uint32_t skip;         // 1: no bitmap (a blank), neither downloaded nor drawn
  GLYPHMETRICS metrics;  // as rendered with the rotation
};

// 255 characters and the terminating entry.
inline constexpr std::size_t kCharacterTableEntries = 256;
inline constexpr std::size_t kMaxWatermarkChars = kCharacterTableEntries - 1;

// The HP-GL/2 label terminator is "!" (33); codes start above it so that no
// character ends a label early. Codes are sent as single bytes, so none may
// exceed 255.
inline constexpr int32_t kLabelTerminator = 33;
inline constexpr int32_t kFirstCharCode = 34;
inline constexpr int32_t kLastCharCode = 255;

// Fills code and character of the table (kCharacterTableEntries entries,
// ended by the first whose code is 0) from the NUL-terminated text and
// ends it with the terminating entry. A character that occurred before
// takes the code of its first occurrence; a new one at position i gets
// 34 + i. Returns the number of characters kept (see the .cc for the cut).
std::size_t AssignCharacterCodes(GlyphEntry* table, const char16_t* text);

}  // namespace pclspool
