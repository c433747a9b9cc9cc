#include "watermark/watermark_state.h"

#include <new>

#include "platform/platform.h"

namespace pclspool {

WatermarkState* MakeWatermarkState(JobContext& ctx) {
  if (WatermarkState* s = WatermarkStateOf(ctx)) return s;
  void* block = platform::Get().heap->Alloc(sizeof(WatermarkState));
  if (!block) return nullptr;
  ctx.pWatermark = new (block) WatermarkState();  // zero-filled
  return WatermarkStateOf(ctx);
}

void FreeWatermarkState(JobContext& ctx) {
  platform::Get().heap->Free(ctx.pWatermark);
  ctx.pWatermark = nullptr;
}

}  // namespace pclspool
