#include "watermark/watermark_drawing.h"

namespace pclspool {

BOOL WatermarkEndPage(JobContext&) {
  // The drawing is not built yet: pages carry no watermark.
  return kTrue;
}

}  // namespace pclspool
