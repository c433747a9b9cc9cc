#include "hooks/output.h"

#include "hooks/settings.h"
#include "platform/platform.h"

namespace pclspool {

BOOL RouteOutput(JobContext& ctx, const void* bytes, DWORD count, DWORD* written) {
  if (!StoresPages(ctx)) return WriteToDevice(ctx, bytes, count, written);
  DWORD done = 0;
  BOOL ok = kTrue;
  if (ctx.hPageFile != InvalidHandleValue()) {
    ok = platform::Get().files->WriteFile(ctx.hPageFile, bytes, count, &done);
  } else {
    done = count;
  }
  if (written) *written = done;
  return ok;
}

BOOL WriteToDevice(JobContext& ctx, const void* bytes, DWORD count, DWORD* written) {
  DWORD done = 0;
  const BOOL ok = platform::Get().spooler->WritePrinter(ctx.hPrinter, bytes, count, &done);
  if (written) *written = done;
  return ok;
}

}  // namespace pclspool
