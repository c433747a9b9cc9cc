#include "watermark/watermark_definition.h"

namespace pclspool {

// Placeholder until the definitions land.
LOGFONTW WatermarkFont;
const char16_t* SelectWatermarkText(uint16_t) { return nullptr; }
WatermarkDefinition ReadWatermarkDefinition(const char16_t*) { return {0, 0, 0, 1}; }

}  // namespace pclspool
