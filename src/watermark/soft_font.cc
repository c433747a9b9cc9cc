#include "watermark/soft_font.h"

namespace pclspool {

// Placeholder until the soft font lands.
BOOL DownloadFontHeader(JobContext&, const TEXTMETRICW*, const LOGFONTW*) { return kTrue; }
void DownloadChar(JobContext&, int32_t, const GLYPHMETRICS&, uint8_t*) {}

}  // namespace pclspool
