#include "watermark/character_table.h"

namespace pclspool {

GlyphEntry CharacterTable[kCharacterTableEntries];

std::size_t AssignCharacterCodes(const char16_t* text) {
  std::size_t n = 0;
  // The text is cut after 255 characters (the table's size) and before the
  // first new character whose code, 34 + its position, would not fit in a
  // byte (a first occurrence at position 222 or later). Repeats of earlier
  // characters keep their small codes, so they never cut the text.
  for (; text && text[n] != 0 && n < kMaxWatermarkChars; ++n) {
    int32_t code = kFirstCharCode + static_cast<int32_t>(n);
    for (std::size_t j = 0; j < n; ++j) {
      if (CharacterTable[j].character == text[n]) {
        code = CharacterTable[j].code;
        break;
      }
    }
    if (code > kLastCharCode) break;
    CharacterTable[n] = GlyphEntry{};
    CharacterTable[n].code = code;
    CharacterTable[n].character = text[n];
  }
  CharacterTable[n] = GlyphEntry{};
  return n;
}

}  // namespace pclspool
