// The Win32 platform: every service the module needs, passed straight to the
// Windows call it is named after. The records of win_types.h are laid out
// as Windows lays them out, so they are handed over without conversion.
//
// This header does not include windows.h: the names of our records are
// those of the Windows ones, and only the .cc files that need the Windows
// declarations see both, each name qualified.
#pragma once

#include "platform/platform.h"

namespace pclspool::win32 {

class Win32Spooler final : public platform::Spooler {
 public:
  BOOL WritePrinter(HANDLE printer, const void* bytes, DWORD count, DWORD* written) noexcept override;
  BOOL GetPrinterW(HANDLE printer, BYTE* buf, DWORD cb, DWORD* needed) override;
  BOOL GetJobW(HANDLE printer, DWORD job_id, BYTE* buf, DWORD cb, DWORD* needed) override;
};

class Win32Profile final : public platform::Profile {
 public:
  UINT GetPrivateProfileIntW(const WCHAR* section, const WCHAR* key, int def,
                             const WCHAR* file) override;
  DWORD GetPrivateProfileStringW(const WCHAR* section, const WCHAR* key, const WCHAR* def,
                                 WCHAR* buf, DWORD size, const WCHAR* file) override;
};

class Win32Files final : public platform::Files {
 public:
  UINT GetSystemDirectoryW(WCHAR* buf, UINT size) override;
  WCHAR PathSeparator() override { return u'\\'; }
  HANDLE CreateNewHidden(const WCHAR* path) override;
  HANDLE OpenExisting(const WCHAR* path) override;
  BOOL ReadFile(HANDLE file, void* buf, DWORD count, DWORD* read) override;
  BOOL WriteFile(HANDLE file, const void* bytes, DWORD count, DWORD* written) noexcept override;
  BOOL CloseHandle(HANDLE file) override;
  BOOL DeleteFileW(const WCHAR* path) override;
};

class Win32Heap final : public platform::Heap {
 public:
  void* Alloc(std::size_t bytes) override;
  void* ReAlloc(void* block, std::size_t bytes) override;
  void Free(void* block) override;
};

class Win32Debug final : public platform::Debug {
 public:
  void OutputDebugStringW(const WCHAR* text) override;
  // Trace lines stay in the trace buffer: nothing is emitted on Windows.
  void Trace(const WCHAR*) override {}
};

// One instance serves the process: it owns the module lock, a
// CRITICAL_SECTION set up when the DLL's globals are built (before DllMain
// runs) and deleted when they are destroyed.
class Win32Module final : public platform::Module {
 public:
  Win32Module();
  ~Win32Module() override;
  Win32Module(const Win32Module&) = delete;
  Win32Module& operator=(const Win32Module&) = delete;

  BOOL DisableThreadLibraryCalls(HANDLE module) override;
  void LockModule() override;
  void UnlockModule() override;
};

// GDI text services on the screen device context.
class Win32Text final : public platform::Text {
 public:
  HDC GetDC() override;
  int ReleaseDC(HDC dc) override;
  int GetDeviceCaps(HDC dc, int index) override;
  BOOL GetSystemFont(LOGFONTW* font) override;
  HGDIOBJ CreateFontIndirectW(const LOGFONTW* font) override;
  HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) override;
  BOOL DeleteObject(HGDIOBJ object) override;
  BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics) override;
  BOOL GetTextExtentPoint32W(HDC dc, const WCHAR* text, int count, SIZE* size) override;
  DWORD GetGlyphOutlineW(HDC dc, UINT ch, UINT format, GLYPHMETRICS* metrics, DWORD cb, void* buf,
                         const MAT2* matrix) override;
};

}  // namespace pclspool::win32
