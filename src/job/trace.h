// The trace buffer: one module-level wide buffer into which every diagnostic
// line is formatted, each replacing the one before. Lines are not emitted,
// except that the page-file failure line goes to the debugger; the platform
// sees every line through Debug::Trace.
#pragma once

#include <cstddef>
#include <initializer_list>

#include "job/format.h"

namespace pclspool {

// The longest line quotes a full page-file path of 260 characters.
inline constexpr std::size_t kTraceBufferChars = 260 + 64;

// Formats one line into the trace buffer and returns it.
const char16_t* Trace(const char16_t* format, std::initializer_list<FormatArg> args);
// Formats one line and sends it to the debugger as well.
void TraceToDebugger(const char16_t* format, std::initializer_list<FormatArg> args);

}  // namespace pclspool
