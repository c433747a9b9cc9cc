// The end-of-page watermark step: shaded, rotated text drawn over the page
// with HP-GL/2 labels in soft font 16300.
#pragma once

#include "hooks/job_context.h"

namespace pclspool {

// Appends the page's watermark through the output routing. Always TRUE.
BOOL WatermarkEndPage(JobContext& ctx);

}  // namespace pclspool
