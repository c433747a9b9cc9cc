// Sheet separators: the form feed that ends one printed side before the
// next page in one-up, two-up and four-up printing.
#pragma once

#include "job/job_context.h"

namespace pclspool {

inline constexpr uint8_t kFormFeed = 0x0C;

// Writes, through the output routing, the form feed due before the page
// that is starting: before every page but the first in one-up, before
// pages 3, 5, 7, ... in two-up and 5, 9, 13, ... in four-up.
void SheetSeparator(JobContext& ctx);

}  // namespace pclspool
