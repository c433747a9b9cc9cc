// The POSIX platform: the services the module needs, on a POSIX machine.
// The printer is an output file descriptor, the system directory a spool
// directory, the profile files our own INI reader, the text services
// FreeType and fontconfig.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/platform.h"
#include "platform/posix/aligned_block.h"
#include "platform/posix/posix_profile.h"
#include "platform/posix/read_ahead.h"
#include "platform/posix/posix_text.h"

namespace pclspool::posix {

// The 278-byte DEVMODEW and DriverExtra block a printer or a job carries.
using DevmodeBlock = std::array<uint8_t, 278>;

struct PrinterSetup {
  int fd = -1;  // where the printer's bytes go; not owned
  // Non-zero: writes smaller than a quarter of this are gathered into a
  // block of this many bytes and written out together when it fills, at
  // Flush and at RemovePrinter. Copies replayed 8192 bytes at a time then
  // cost one write call per block instead of one per 8192 bytes, which
  // matters on a file or a pipe. Zero: every write goes out at once.
  std::size_t buffer_bytes = 0;
  // The device modes GetPrinterW and GetJobW report; none by default (the
  // queries then find no device mode), since what they hold is the
  // driver's business.
  bool has_printer_devmode = false;
  DevmodeBlock printer_devmode{};
  bool has_job_devmode = false;
  DevmodeBlock job_devmode{};
};

// The printers of the process. A printer is looked up without a lock, so
// a write costs no more than the write itself; a handle must not be used
// while or after it is removed, as with a real spooler's handles.
class PosixSpooler final : public platform::Spooler {
 public:
  static constexpr std::size_t kMaxPrinters = 64;

  // False when kMaxPrinters printers are there already, when the handle is
  // taken, or when the output block cannot be had.
  bool AddPrinter(HANDLE printer, const PrinterSetup& setup);
  // Writes out what is gathered, then forgets the printer.
  void RemovePrinter(HANDLE printer);
  // Writes out what is gathered. False once any write to the printer has
  // failed, this one included.
  bool Flush(HANDLE printer);
  // True once any write to the printer has failed (gathered bytes not yet
  // written out have not failed yet).
  bool WriteFailed(HANDLE printer);

  BOOL WritePrinter(HANDLE printer, const void* bytes, DWORD count, DWORD* written) noexcept override;
  BOOL GetPrinterW(HANDLE printer, BYTE* buf, DWORD cb, DWORD* needed) override;
  BOOL GetJobW(HANDLE printer, DWORD job_id, BYTE* buf, DWORD cb, DWORD* needed) override;

 private:
  struct Printer {
    std::atomic<bool> used{false};
    std::atomic<HANDLE> handle{nullptr};
    PrinterSetup setup;  // written only while the slot is unused
    std::atomic<bool> failed{false};
    std::mutex output_mu;  // the gathered bytes
    std::unique_ptr<AlignedBlock> output;
    std::size_t gathered = 0;
  };
  Printer* Find(HANDLE printer);
  bool Gather(Printer& p, const void* bytes, DWORD count);
  bool FlushLocked(Printer& p);
  // The outcome of a write: *written, the failure remembered, the BOOL.
  static BOOL Finish(Printer& p, bool ok, DWORD count, DWORD* written);

  std::mutex mu_;  // adding and removing printers
  // A slot's record, once made, lives as long as the spooler: a lookup
  // never meets freed memory.
  std::array<std::unique_ptr<Printer>, kMaxPrinters> slots_;
};

class PosixFiles final : public platform::Files {
 public:
  // The directory that stands for the system directory (UTF-8).
  void SetSystemDirectory(const std::string& dir);

  UINT GetSystemDirectoryW(WCHAR* buf, UINT size) override;
  WCHAR PathSeparator() override { return u'/'; }
  HANDLE CreateNewHidden(const WCHAR* path) override;
  HANDLE OpenExisting(const WCHAR* path) override;
  BOOL ReadFile(HANDLE file, void* buf, DWORD count, DWORD* read) override;
  BOOL WriteFile(HANDLE file, const void* bytes, DWORD count, DWORD* written) noexcept override;
  BOOL CloseHandle(HANDLE file) override;
  BOOL DeleteFileW(const WCHAR* path) override;

 private:
  std::mutex mu_;
  std::u16string dir_ = u"/tmp";
  ReadAheadTable read_ahead_;  // for files opened to be read
};

class PosixHeap final : public platform::Heap {
 public:
  void* Alloc(std::size_t bytes) override;
  void* ReAlloc(void* block, std::size_t bytes) override;
  void Free(void* block) override;
};

class PosixDebug final : public platform::Debug {
 public:
  // Trace lines go to stderr when on.
  void SetTraceToStderr(bool on) { trace_ = on; }
  void OutputDebugStringW(const WCHAR* text) override;
  void Trace(const WCHAR* line) override;

 private:
  bool trace_ = false;
};

class PosixModule final : public platform::Module {
 public:
  BOOL DisableThreadLibraryCalls(HANDLE) override { return kTrue; }
  void LockModule() override { lock_.lock(); }
  void UnlockModule() override { lock_.unlock(); }

 private:
  std::mutex lock_;
};

// All POSIX services of the process, as one platform.
struct PosixPlatform {
  PosixSpooler spooler;
  PosixProfile profile;
  PosixFiles files;
  PosixHeap heap;
  PosixDebug debug;
  PosixModule module;
  PosixText text;
  platform::Platform services{&spooler, &profile, &files, &heap, &debug, &module, &text};
};

// The process's POSIX platform, the build's default.
PosixPlatform& Posix();

// Writes all of count bytes to fd, across short writes and EINTR.
bool WriteAll(int fd, const void* bytes, std::size_t count);

}  // namespace pclspool::posix
