// The command buffer: PCL and HP-GL/2 commands with numbers are formatted
// into one module-level buffer of 112 bytes and sent with their exact
// length through the output routing.
#pragma once

#include <initializer_list>

#include "job/format.h"
#include "job/job_context.h"

namespace pclspool {

inline constexpr std::size_t kCommandBufferBytes = 112;

// Formats one command (FormatA conventions) and routes it. Returns the
// routing's result.
BOOL SendCommand(JobContext& ctx, const char* format, std::initializer_list<FormatArg> args);

// Routes a fixed command as it stands.
template <std::size_t N>
BOOL SendLiteral(JobContext& ctx, const char (&literal)[N]);

}  // namespace pclspool

#include "job/output.h"

namespace pclspool {
template <std::size_t N>
BOOL SendLiteral(JobContext& ctx, const char (&literal)[N]) {
  return RouteOutput(ctx, literal, N - 1);
}
}  // namespace pclspool
