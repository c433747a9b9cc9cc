// The narrow interfaces through which the module's logic reaches the
// operating system. Each method is named after the Win32 call it stands for
// and keeps that call's contract, so the Win32 layer is a thin pass-through
// and the POSIX layer and the test fakes reproduce the same results.
//
// Exactly one Platform serves the process at a time: Get() returns the one
// installed with Install(), or the build's default (POSIX or Win32).
#pragma once

#include <atomic>
#include <cstddef>

#include "platform/win_types.h"

namespace pclspool::platform {

class Spooler {
 public:
  virtual ~Spooler() = default;
  // WritePrinter: TRUE only when the bytes were accepted; *written gets the
  // count the printer took (written may be null). Throws nothing: the hooks
  // make it their last act, outside any try.
  virtual BOOL WritePrinter(HANDLE printer, const void* bytes, DWORD count,
                            DWORD* written) noexcept = 0;
  // GetPrinterW at level 2: fills buf with a PRINTER_INFO_2W whose pointers
  // point into buf. When cb is too small (0 included) it fails and stores the
  // size needed in *needed.
  virtual BOOL GetPrinterW(HANDLE printer, BYTE* buf, DWORD cb, DWORD* needed) = 0;
  // GetJobW at level 2: the same protocol with a JOB_INFO_2W.
  virtual BOOL GetJobW(HANDLE printer, DWORD job_id, BYTE* buf, DWORD cb, DWORD* needed) = 0;
};

class Profile {
 public:
  virtual ~Profile() = default;
  // GetPrivateProfileIntW: the key's integer, or def when the key or the file
  // is missing.
  virtual UINT GetPrivateProfileIntW(const WCHAR* section, const WCHAR* key, int def,
                                     const WCHAR* file) = 0;
  // GetPrivateProfileStringW: with a key, its value (def when missing); with
  // key == nullptr, the section's key names, each ended by a NUL and the list
  // by one more. Returns the count copied, without the final NUL(s), cut to
  // the buffer as Win32 cuts it.
  virtual DWORD GetPrivateProfileStringW(const WCHAR* section, const WCHAR* key, const WCHAR* def,
                                         WCHAR* buf, DWORD size, const WCHAR* file) = 0;
};

class Files {
 public:
  virtual ~Files() = default;
  // GetSystemDirectoryW: the length copied without the NUL, or the size
  // needed (NUL included) when size is too small, 0 on failure.
  virtual UINT GetSystemDirectoryW(WCHAR* buf, UINT size) = 0;
  // The character that separates a directory from a file name in paths.
  virtual WCHAR PathSeparator() = 0;
  // CreateFileW(GENERIC_READ | GENERIC_WRITE, share 0, CREATE_NEW,
  // FILE_ATTRIBUTE_HIDDEN): fails when the file exists.
  virtual HANDLE CreateNewHidden(const WCHAR* path) = 0;
  // CreateFileW(GENERIC_READ, share 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL).
  virtual HANDLE OpenExisting(const WCHAR* path) = 0;
  virtual BOOL ReadFile(HANDLE file, void* buf, DWORD count, DWORD* read) = 0;
  // Throws nothing, as WritePrinter.
  virtual BOOL WriteFile(HANDLE file, const void* bytes, DWORD count, DWORD* written) noexcept = 0;
  virtual BOOL CloseHandle(HANDLE file) = 0;
  virtual BOOL DeleteFileW(const WCHAR* path) = 0;
};

class Heap {
 public:
  virtual ~Heap() = default;
  // GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT) and GlobalLock: zero-filled
  // memory, or nullptr.
  virtual void* Alloc(std::size_t bytes) = 0;
  // GlobalReAlloc of a fixed block: the moved block, or nullptr with the old
  // block left alone.
  virtual void* ReAlloc(void* block, std::size_t bytes) = 0;
  // GlobalUnlock and GlobalFree; nullptr is ignored.
  virtual void Free(void* block) = 0;
};

class Debug {
 public:
  virtual ~Debug() = default;
  // OutputDebugStringW.
  virtual void OutputDebugStringW(const WCHAR* text) = 0;
  // Every line formatted into the trace buffer; the Win32 layer ignores them,
  // the command can show them.
  virtual void Trace(const WCHAR* line) = 0;
};

class Module {
 public:
  virtual ~Module() = default;
  virtual BOOL DisableThreadLibraryCalls(HANDLE module) = 0;
  // The module-wide lock. A spooler prints on several printers at once, so
  // hooks of different jobs can run on different threads at the same time;
  // the hooks hold this lock while they use the module's scratch buffers.
  // Not recursive: no hook calls another.
  virtual void LockModule() = 0;
  virtual void UnlockModule() = 0;
};

class Text {
 public:
  virtual ~Text() = default;
  // GetDC(NULL): the screen context; nullptr on failure.
  virtual HDC GetDC() = 0;
  virtual int ReleaseDC(HDC dc) = 0;
  virtual int GetDeviceCaps(HDC dc, int index) = 0;
  // GetStockObject(SYSTEM_FONT) with GetObjectW: the system font's LOGFONTW.
  virtual BOOL GetSystemFont(LOGFONTW* font) = 0;
  virtual HGDIOBJ CreateFontIndirectW(const LOGFONTW* font) = 0;
  virtual HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) = 0;
  virtual BOOL DeleteObject(HGDIOBJ object) = 0;
  virtual BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics) = 0;
  virtual BOOL GetTextExtentPoint32W(HDC dc, const WCHAR* text, int count, SIZE* size) = 0;
  // GetGlyphOutlineW: with buf == nullptr or cb == 0 the size of the bitmap;
  // otherwise the bitmap into buf and its size. GDI_ERROR on failure.
  virtual DWORD GetGlyphOutlineW(HDC dc, UINT ch, UINT format, GLYPHMETRICS* metrics, DWORD cb,
                                 void* buf, const MAT2* matrix) = 0;
};

struct Platform {
  Spooler* spooler;
  Profile* profile;
  Files* files;
  Heap* heap;
  Debug* debug;
  Module* module;
  Text* text;
};

// The build's default platform, defined by the POSIX or the Win32 layer.
const Platform& Default();

namespace detail {
// The platform in use; null until the first Get() or Install().
extern std::atomic<const Platform*> g_current;
const Platform& FirstGet();
}  // namespace detail

// The platform the module uses now. Inline, and one load once the first
// call has settled on a platform: the hooks ask for it on every stream
// buffer.
inline const Platform& Get() {
  const Platform* p = detail::g_current.load(std::memory_order_acquire);
  return p ? *p : detail::FirstGet();
}
// Makes p (which must outlive its use) the process's platform; nullptr puts
// the build's default back.
void Install(const Platform* p);

}  // namespace pclspool::platform
