#include "job/trace.h"

#include "platform/platform.h"

namespace pclspool {

namespace {
char16_t g_trace[kTraceBufferChars];
}

const char16_t* Trace(const char16_t* format, std::initializer_list<FormatArg> args) {
  FormatW(g_trace, kTraceBufferChars, format, args);
  platform::Get().debug->Trace(g_trace);
  return g_trace;
}

void TraceToDebugger(const char16_t* format, std::initializer_list<FormatArg> args) {
  platform::Get().debug->OutputDebugStringW(Trace(format, args));
}

}  // namespace pclspool
