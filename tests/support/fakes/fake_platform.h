// An in-memory platform for tests: a printer that records its bytes, files
// in a map, a profile of set values, a heap that can be made to fail, and
// a debugger and trace that record their lines. Installing it makes it the
// process's platform until the scope ends.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace pclspool::testing {

struct FakePrinter {
  std::string output;
  std::optional<DEVMODEW> printer_devmode;
  std::optional<std::vector<uint8_t>> job_devmode;  // DEVMODEW + DriverExtra
  bool fail_writes = false;
  int writes = 0;
};

class FakeSpooler final : public platform::Spooler {
 public:
  std::map<HANDLE, FakePrinter> printers;
  BOOL WritePrinter(HANDLE printer, const void* bytes, DWORD count, DWORD* written) noexcept override;
  BOOL GetPrinterW(HANDLE printer, BYTE* buf, DWORD cb, DWORD* needed) override;
  BOOL GetJobW(HANDLE printer, DWORD job_id, BYTE* buf, DWORD cb, DWORD* needed) override;
};

class FakeProfile final : public platform::Profile {
 public:
  // Sections and keys keep their insertion order; names compare exactly.
  void Set(const std::u16string& section, const std::u16string& key, const std::u16string& value);
  void Clear() { sections_.clear(); }
  std::vector<std::u16string> int_keys_read;  // every key GetPrivateProfileIntW was asked for

  UINT GetPrivateProfileIntW(const WCHAR* section, const WCHAR* key, int def,
                             const WCHAR* file) override;
  DWORD GetPrivateProfileStringW(const WCHAR* section, const WCHAR* key, const WCHAR* def,
                                 WCHAR* buf, DWORD size, const WCHAR* file) override;

 private:
  using Keys = std::vector<std::pair<std::u16string, std::u16string>>;
  std::vector<std::pair<std::u16string, Keys>> sections_;
  const std::u16string* Find(const WCHAR* section, const WCHAR* key) const;
};

class FakeFiles final : public platform::Files {
 public:
  struct File {
    std::string bytes;
    bool hidden = false;
  };
  std::u16string system_directory = u"C:\\WINNT\\system32";
  std::map<std::u16string, File> files;
  std::vector<std::u16string> fail_create;  // paths whose creation fails
  bool fail_all_creates = false;
  int fail_read_after = -1;  // a read of a file fails once this many reads have been done
  // Files that take only this many bytes: the write that would pass the
  // limit stores what fits and fails (a disk that fills up).
  std::map<std::u16string, std::size_t> room;
  int open_handles() const { return static_cast<int>(open_.size()); }
  int deletes = 0;

  UINT GetSystemDirectoryW(WCHAR* buf, UINT size) override;
  WCHAR PathSeparator() override { return u'\\'; }
  HANDLE CreateNewHidden(const WCHAR* path) override;
  HANDLE OpenExisting(const WCHAR* path) override;
  BOOL ReadFile(HANDLE file, void* buf, DWORD count, DWORD* read) override;
  BOOL WriteFile(HANDLE file, const void* bytes, DWORD count, DWORD* written) noexcept override;
  BOOL CloseHandle(HANDLE file) override;
  BOOL DeleteFileW(const WCHAR* path) override;

 private:
  struct Open {
    std::u16string path;
    std::size_t pos = 0;
    bool writable = false;
  };
  std::map<uintptr_t, Open> open_;
  uintptr_t next_ = 0x100;
  int reads_ = 0;
};

class FakeHeap final : public platform::Heap {
 public:
  int fail_after = -1;  // allocations left before every later one fails; -1 never
  int live = 0;         // blocks allocated and not yet freed
  void* Alloc(std::size_t bytes) override;
  void* ReAlloc(void* block, std::size_t bytes) override;
  void Free(void* block) override;
};

class FakeDebug final : public platform::Debug {
 public:
  std::vector<std::u16string> debugger;
  std::vector<std::u16string> trace;
  void OutputDebugStringW(const WCHAR* text) override { debugger.emplace_back(text); }
  void Trace(const WCHAR* line) override { trace.emplace_back(line); }
};

// The module lock of a single-threaded test: it counts, and notes a lock
// taken while already held (which would deadlock a real one).
class FakeModule final : public platform::Module {
 public:
  std::vector<HANDLE> disabled;
  int locks = 0;        // times taken
  int held = 0;         // taken and not yet given back
  bool nested = false;  // taken again while held
  BOOL DisableThreadLibraryCalls(HANDLE module) override {
    disabled.push_back(module);
    return kTrue;
  }
  void LockModule() override {
    if (held > 0) nested = true;
    ++held;
    ++locks;
  }
  void UnlockModule() override { --held; }
};

// No fonts: every font request fails. Tests of the watermark install their
// own text services.
class NoText final : public platform::Text {
 public:
  HDC GetDC() override { return this; }
  int ReleaseDC(HDC) override { return 1; }
  int GetDeviceCaps(HDC, int) override { return 96; }
  BOOL GetSystemFont(LOGFONTW* font) override;
  HGDIOBJ CreateFontIndirectW(const LOGFONTW*) override { return nullptr; }
  HGDIOBJ SelectObject(HDC, HGDIOBJ) override { return nullptr; }
  BOOL DeleteObject(HGDIOBJ) override { return kFalse; }
  BOOL GetTextMetricsW(HDC, TEXTMETRICW*) override { return kFalse; }
  BOOL GetTextExtentPoint32W(HDC, const WCHAR*, int, SIZE*) override { return kFalse; }
  DWORD GetGlyphOutlineW(HDC, UINT, UINT, GLYPHMETRICS*, DWORD, void*, const MAT2*) override {
    return GDI_ERROR;
  }
};

// A printer's device mode of the expected version, and a job's device mode
// (600 dpi, portrait, one copy) with its DriverExtra block.
DEVMODEW PrinterDevmode();
std::vector<uint8_t> JobDevmode();

class FakePlatform {
 public:
  FakeSpooler spooler;
  FakeProfile profile;
  FakeFiles files;
  FakeHeap heap;
  FakeDebug debug;
  FakeModule module;
  NoText no_text;
  platform::Platform services{&spooler, &profile, &files, &heap, &debug, &module, &no_text};

  // Installs itself; puts the previous platform back when destroyed.
  FakePlatform() { platform::Install(&services); }
  ~FakePlatform() { platform::Install(nullptr); }
  FakePlatform(const FakePlatform&) = delete;
  FakePlatform& operator=(const FakePlatform&) = delete;

  // A printer with the given handle whose device modes capture.
  FakePrinter& AddPrinter(HANDLE h);
  // The page files in the system directory, by name.
  std::vector<std::u16string> PageFileNames() const;
};

}  // namespace pclspool::testing
