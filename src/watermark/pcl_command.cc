#include "watermark/pcl_command.h"

namespace pclspool {

namespace {
char g_command[kCommandBufferBytes];
}

BOOL SendCommand(JobContext& ctx, const char* format, std::initializer_list<FormatArg> args) {
  const int n = FormatA(g_command, kCommandBufferBytes, format, args);
  return RouteOutput(ctx, g_command, static_cast<DWORD>(n));
}

}  // namespace pclspool
