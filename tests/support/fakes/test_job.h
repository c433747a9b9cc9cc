// A job's context as the watermark tests start from: a printer, no page
// file, 600 dpi portrait, and the page size given.
#pragma once

#include <cstdint>

#include "job/job_context.h"

namespace pclspool::testing {

inline JobContext Job(HANDLE printer, int32_t x_dim, int32_t y_dim) {
  JobContext ctx{};
  ctx.hPrinter = printer;
  ctx.hPageFile = InvalidHandleValue();
  ctx.dm.dmYResolution = 600;
  ctx.dm.dmOrientation = 1;
  ctx.lXDim = x_dim;
  ctx.lYDim = y_dim;
  return ctx;
}

}  // namespace pclspool::testing
