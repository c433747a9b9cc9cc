#include "spool/page_files.h"

#include "job/output.h"
#include "job/trace.h"
#include "platform/platform.h"

namespace pclspool {

namespace {

// The path buffer has room past kMaxPath so that an over-long name can
// still be shown whole in the failure message.
constexpr std::size_t kPathBufferChars = kMaxPath + 32;
char16_t g_path[kPathBufferChars];

constexpr std::size_t kCopyBlock = 8192;
uint8_t g_copy[kCopyBlock];

// Handles and page numbers are formatted as unsigned 32-bit hexadecimal.
uint32_t Low32(HANDLE h) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h)); }

}  // namespace

const char16_t* PageFileName(const JobContext& ctx, uint32_t page, bool* fits) {
  platform::Files& files = *platform::Get().files;
  UINT len = files.GetSystemDirectoryW(g_path, kMaxPath);
  if (len == 0 || len >= kMaxPath) len = 0;  // no directory, or one too long to hold
  char16_t name[] = u"\\Orv%x.%x";
  name[0] = files.PathSeparator();
  const int added = FormatW(g_path + len, kPathBufferChars - len, name, {Low32(ctx.hPrinter), page});
  *fits = len != 0 && len + static_cast<std::size_t>(added) < kMaxPath;
  return g_path;
}

void Save2File(JobContext& ctx) {
  platform::Files& files = *platform::Get().files;
  // A page that started without the previous one ending still has its file
  // open: close it rather than lose its handle.
  ClosePageFile(ctx);
  ctx.dwPageFileOf = ctx.cPages;
  ctx.bPageLost = 0;
  bool fits = false;
  const char16_t* path = PageFileName(ctx, ctx.cPages, &fits);
  if (fits) {
    // A page file left by an earlier job with the same printer handle is
    // replaced.
    files.DeleteFileW(path);
    ctx.hPageFile = files.CreateNewHidden(path);
  } else {
    ctx.hPageFile = InvalidHandleValue();
  }
  if (ctx.hPageFile == InvalidHandleValue()) {
    ctx.bPageLost = 1;
    TraceToDebugger(u"OrvUmpd:     Fail to Open :%ws \n", {path});
  } else {
    Trace(u"    Save2File:%ws Handle:%d\n", {path, Low32(ctx.hPageFile)});
  }
}

void ClosePageFile(JobContext& ctx) {
  if (ctx.dwPageFileOf == 0) return;  // no stored page in progress
  const uint32_t page = ctx.dwPageFileOf;
  ctx.dwPageFileOf = 0;
  platform::Files& files = *platform::Get().files;
  if (ctx.hPageFile != InvalidHandleValue()) {
    // Some file systems report a failed write only when the file is closed.
    if (!files.CloseHandle(ctx.hPageFile)) ctx.bPageLost = 1;
    ctx.hPageFile = InvalidHandleValue();
    if (ctx.bPageLost) {
      bool fits = false;
      files.DeleteFileW(PageFileName(ctx, page, &fits));
      Trace(u"    Page %d left out: its page file was cut short\n", {page});
    }
  }
  // The font went down with the page that carried it: the next page sends
  // it again, so that no replayed page is labelled with a font the printer
  // never got.
  if (ctx.bPageLost && ctx.dwFontPage == page) {
    ctx.dwFontPage = 0;
    ctx.bFontDownloaded = 0;
  }
}

void Copy2Dev(JobContext& ctx, const char16_t* path) {
  platform::Files& files = *platform::Get().files;
  const HANDLE file = files.OpenExisting(path);
  Trace(u"    Copy2Dev:%ws Handle:%d\n", {path, Low32(file)});
  if (file == InvalidHandleValue()) return;
  for (;;) {
    DWORD got = 0;
    const BOOL ok = files.ReadFile(file, g_copy, kCopyBlock, &got);
    if (got == 0) break;
    WriteToDevice(ctx, g_copy, got);
    if (!ok) break;
  }
  files.CloseHandle(file);
}

void CopyPageToDevice(JobContext& ctx, uint32_t page) {
  bool fits = false;
  const char16_t* path = PageFileName(ctx, page, &fits);
  if (fits) Copy2Dev(ctx, path);
}

void DeletePageFiles(JobContext& ctx) {
  platform::Files& files = *platform::Get().files;
  // A 32-bit page number: a 16-bit one would never pass 65,535 and loop
  // for ever on longer jobs.
  for (uint32_t p = 1; p <= ctx.cPages && p != 0; ++p) {
    bool fits = false;
    const char16_t* path = PageFileName(ctx, p, &fits);
    if (fits) files.DeleteFileW(path);
  }
}

}  // namespace pclspool
