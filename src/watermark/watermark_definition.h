// Watermark definitions: the texts are the key names of [StringSummary] in
// the INI file; a section named after each text holds its font (LOGFONTW
// fields) and placement.
#pragma once

#include <cstdint>

#include "platform/win_types.h"

namespace pclspool {

struct WatermarkDefinition {
  int32_t dark;          // shading darkness
  int32_t xOffset;       // tenths of an inch from the centred position
  int32_t yOffset;
  int32_t centerToPage;  // non-zero: the offsets are ignored
};

// The key-name list buffer holds this many characters.
inline constexpr std::size_t kKeyListChars = 4096;

// The waterIdx-th key name of [StringSummary] (1-based), pointing into the
// module's key-name list buffer; nullptr when there is no such text.
const char16_t* SelectWatermarkText(uint16_t waterIdx);

// Reads the text's own section: its font into *font, and the rest.
WatermarkDefinition ReadWatermarkDefinition(const char16_t* text, LOGFONTW* font);

}  // namespace pclspool
