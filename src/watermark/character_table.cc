#include "watermark/character_table.h"

#include "job/trace.h"

namespace pclspool {

std::size_t AssignCharacterCodes(GlyphEntry* table, const char16_t* text) {
  std::size_t n = 0;
  // The text is cut after 255 characters (the table's size) and before the
  // first new character whose code, 34 + its position, would not fit in a
  // byte (a first occurrence at position 222 or later). Repeats of earlier
  // characters keep their small codes, so they never cut the text.
  for (; text && text[n] != 0 && n < kMaxWatermarkChars; ++n) {
    int32_t code = kFirstCharCode + static_cast<int32_t>(n);
    for (std::size_t j = 0; j < n; ++j) {
      if (table[j].character == text[n]) {
        code = table[j].code;
        break;
      }
    }
    if (code > kLastCharCode) {
      Trace(u"Watermark text cut at character %d: its code would pass %d\n",
            {static_cast<int64_t>(n + 1), kLastCharCode});
      break;
    }
    table[n] = GlyphEntry{};
    table[n].code = code;
    table[n].character = text[n];
  }
  if (text && text[n] != 0 && n == kMaxWatermarkChars) {
    Trace(u"Watermark text cut after %d characters: the table holds no more\n",
          {static_cast<int64_t>(n)});
  }
  table[n] = GlyphEntry{};
  return n;
}

}  // namespace pclspool
