#include "platform/posix/posix_platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/level2_info.h"
#include "platform/posix/utf.h"

namespace pclspool::posix {

namespace {

DevmodeBlock MakeDevmode(bool printer) {
  DevmodeBlock block{};
  DEVMODEW dm{};
  const char16_t name[] = u"pclspool";
  std::memcpy(dm.dmDeviceName, name, sizeof(name));
  (void)printer;
  dm.dmSpecVersion = 0x0401;
  dm.dmDriverVersion = 0x0400;
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmDriverExtra = 58;
  dm.dmOrientation = 1;
  dm.dmPaperSize = 9;  // A4
  dm.dmCopies = 1;
  dm.dmYResolution = 600;
  std::memcpy(block.data(), &dm, sizeof(dm));
  return block;
}

int Fd(HANDLE h) { return static_cast<int>(reinterpret_cast<intptr_t>(h)); }
HANDLE FromFd(int fd) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd)); }

}  // namespace

DevmodeBlock DefaultPrinterDevmode() { return MakeDevmode(true); }
DevmodeBlock DefaultJobDevmode() { return MakeDevmode(false); }

bool WriteAll(int fd, const void* bytes, std::size_t count) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  while (count > 0) {
    const ssize_t n = ::write(fd, p, count);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    p += n;
    count -= static_cast<std::size_t>(n);
  }
  return true;
}

// --- spooler ---

void PosixSpooler::AddPrinter(HANDLE printer, const PrinterSetup& setup) {
  std::lock_guard lock(mu_);
  printers_[printer] = Printer{setup, false};
}

void PosixSpooler::RemovePrinter(HANDLE printer) {
  std::lock_guard lock(mu_);
  printers_.erase(printer);
}

bool PosixSpooler::WriteFailed(HANDLE printer) {
  std::lock_guard lock(mu_);
  auto it = printers_.find(printer);
  return it != printers_.end() && it->second.failed;
}

BOOL PosixSpooler::WritePrinter(HANDLE printer, const void* bytes, DWORD count, DWORD* written) {
  int fd = -1;
  {
    std::lock_guard lock(mu_);
    auto it = printers_.find(printer);
    if (it == printers_.end()) {
      if (written) *written = 0;
      return kFalse;
    }
    fd = it->second.setup.fd;
  }
  const bool ok = count == 0 || (bytes && WriteAll(fd, bytes, count));
  if (written) *written = ok ? count : 0;
  if (!ok) {
    std::lock_guard lock(mu_);
    auto it = printers_.find(printer);
    if (it != printers_.end()) it->second.failed = true;
  }
  return ok ? kTrue : kFalse;
}

BOOL PosixSpooler::GetPrinterW(HANDLE printer, BYTE* buf, DWORD cb, DWORD* needed) {
  std::lock_guard lock(mu_);
  auto it = printers_.find(printer);
  if (it == printers_.end()) return kFalse;
  const PrinterSetup& s = it->second.setup;
  return platform::FillLevel2<PRINTER_INFO_2W>(
      s.has_printer_devmode ? s.printer_devmode.data() : nullptr, s.printer_devmode.size(), buf, cb,
      needed);
}

BOOL PosixSpooler::GetJobW(HANDLE printer, DWORD, BYTE* buf, DWORD cb, DWORD* needed) {
  std::lock_guard lock(mu_);
  auto it = printers_.find(printer);
  if (it == printers_.end()) return kFalse;
  const PrinterSetup& s = it->second.setup;
  return platform::FillLevel2<JOB_INFO_2W>(s.has_job_devmode ? s.job_devmode.data() : nullptr,
                                           s.job_devmode.size(), buf, cb, needed);
}

// --- files ---

void PosixFiles::SetSystemDirectory(const std::string& dir) {
  std::lock_guard lock(mu_);
  dir_ = Utf8ToUtf16(dir);
  while (dir_.size() > 1 && dir_.back() == u'/') dir_.pop_back();
}

UINT PosixFiles::GetSystemDirectoryW(WCHAR* buf, UINT size) {
  std::lock_guard lock(mu_);
  const auto len = static_cast<UINT>(dir_.size());
  if (!buf || size <= len) return len + 1;
  std::memcpy(buf, dir_.data(), len * sizeof(WCHAR));
  buf[len] = 0;
  return len;
}

HANDLE PosixFiles::CreateNewHidden(const WCHAR* path) {
  // Owner-only and never through a link or over an existing file: a file
  // planted under the page file's name can neither redirect it nor read it.
  const std::string p = Utf16ToUtf8(path);
  const int fd = ::open(p.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  return fd < 0 ? InvalidHandleValue() : FromFd(fd);
}

HANDLE PosixFiles::OpenExisting(const WCHAR* path) {
  const std::string p = Utf16ToUtf8(path);
  const int fd = ::open(p.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  return fd < 0 ? InvalidHandleValue() : FromFd(fd);
}

BOOL PosixFiles::ReadFile(HANDLE file, void* buf, DWORD count, DWORD* read) {
  ssize_t n;
  do {
    n = ::read(Fd(file), buf, count);
  } while (n < 0 && errno == EINTR);
  if (read) *read = n > 0 ? static_cast<DWORD>(n) : 0;
  return n >= 0 ? kTrue : kFalse;
}

BOOL PosixFiles::WriteFile(HANDLE file, const void* bytes, DWORD count, DWORD* written) {
  const bool ok = count == 0 || WriteAll(Fd(file), bytes, count);
  if (written) *written = ok ? count : 0;
  return ok ? kTrue : kFalse;
}

BOOL PosixFiles::CloseHandle(HANDLE file) { return ::close(Fd(file)) == 0 ? kTrue : kFalse; }

BOOL PosixFiles::DeleteFileW(const WCHAR* path) {
  return ::unlink(Utf16ToUtf8(path).c_str()) == 0 ? kTrue : kFalse;
}

// --- heap ---

void* PosixHeap::Alloc(std::size_t bytes) { return std::calloc(bytes ? bytes : 1, 1); }

void* PosixHeap::ReAlloc(void* block, std::size_t bytes) {
  return std::realloc(block, bytes ? bytes : 1);
}

void PosixHeap::Free(void* block) { std::free(block); }

// --- debugger ---

void PosixDebug::OutputDebugStringW(const WCHAR* text) {
  const std::string s = Utf16ToUtf8(text ? text : u"");
  WriteAll(STDERR_FILENO, s.data(), s.size());
}

void PosixDebug::Trace(const WCHAR* line) {
  if (!trace_) return;
  const std::string s = Utf16ToUtf8(line ? line : u"");
  WriteAll(STDERR_FILENO, s.data(), s.size());
}

// --- the process's platform ---

PosixPlatform& Posix() {
  static PosixPlatform* p = new PosixPlatform();  // lives as long as the process
  return *p;
}

}  // namespace pclspool::posix

namespace pclspool::platform {

const Platform& Default() { return posix::Posix().services; }

}  // namespace pclspool::platform
