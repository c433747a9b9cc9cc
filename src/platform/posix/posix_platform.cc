#include "platform/posix/posix_platform.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/level2_info.h"
#include "platform/posix/utf.h"

namespace pclspool::posix {

namespace {

int Fd(HANDLE h) { return static_cast<int>(reinterpret_cast<intptr_t>(h)); }
HANDLE FromFd(int fd) { return reinterpret_cast<HANDLE>(static_cast<intptr_t>(fd)); }

}  // namespace

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

bool PosixSpooler::AddPrinter(HANDLE printer, const PrinterSetup& setup) {
  std::lock_guard lock(mu_);
  if (Find(printer)) return false;
  for (std::unique_ptr<Printer>& slot : slots_) {
    if (slot && slot->used.load(std::memory_order_relaxed)) continue;
    if (!slot) {
      slot.reset(new (std::nothrow) Printer);
      if (!slot) return false;
    }
    Printer& p = *slot;
    p.setup = setup;
    p.failed.store(false, std::memory_order_relaxed);
    p.gathered = 0;
    p.output.reset();
    if (setup.buffer_bytes > 0) {
      p.output.reset(new (std::nothrow) AlignedBlock(setup.buffer_bytes));
      if (!p.output || !p.output->data()) {
        p.output.reset();
        return false;
      }
    }
    p.handle.store(printer, std::memory_order_relaxed);
    p.used.store(true, std::memory_order_release);
    return true;
  }
  return false;
}

void PosixSpooler::RemovePrinter(HANDLE printer) {
  std::lock_guard lock(mu_);
  Printer* p = Find(printer);
  if (!p) return;
  {
    std::lock_guard out(p->output_mu);
    FlushLocked(*p);
  }
  p->used.store(false, std::memory_order_release);
}

PosixSpooler::Printer* PosixSpooler::Find(HANDLE printer) {
  for (const std::unique_ptr<Printer>& slot : slots_) {
    // Slots are filled from the front and their records never go away.
    Printer* p = slot.get();
    if (!p) return nullptr;
    if (p->used.load(std::memory_order_acquire) &&
        p->handle.load(std::memory_order_relaxed) == printer) {
      return p;
    }
  }
  return nullptr;
}

bool PosixSpooler::Flush(HANDLE printer) {
  Printer* p = Find(printer);
  if (!p) return false;
  std::lock_guard lock(p->output_mu);
  return FlushLocked(*p) && !p->failed.load();
}

bool PosixSpooler::WriteFailed(HANDLE printer) {
  Printer* p = Find(printer);
  return p && p->failed.load();
}

bool PosixSpooler::FlushLocked(Printer& p) {
  if (p.gathered == 0) return true;
  const bool ok = WriteAll(p.setup.fd, p.output->data(), p.gathered);
  p.gathered = 0;  // gone either way: a failed printer takes nothing more
  if (!ok) p.failed.store(true);
  return ok;
}

bool PosixSpooler::Gather(Printer& p, const void* bytes, DWORD count) {
  std::lock_guard lock(p.output_mu);
  const std::size_t room = p.output->size();
  const bool large = count >= room / 4;
  if ((large || count > room - p.gathered) && !FlushLocked(p)) return false;
  if (large) return WriteAll(p.setup.fd, bytes, count);
  std::memcpy(p.output->data() + p.gathered, bytes, count);
  p.gathered += count;
  return true;
}

BOOL PosixSpooler::WritePrinter(HANDLE printer, const void* bytes, DWORD count,
                                DWORD* written) noexcept {
  Printer* p = Find(printer);
  if (p && !p->output && bytes && count > 0) {
    // The commonest case: a whole buffer out in one call.
    const ssize_t n = ::write(p->setup.fd, bytes, count);
    if (n == static_cast<ssize_t>(count)) {
      if (written) *written = count;
      return kTrue;
    }
    const auto done = static_cast<std::size_t>(n > 0 ? n : 0);
    const bool ok = (n >= 0 || errno == EINTR) &&
                    WriteAll(p->setup.fd, static_cast<const uint8_t*>(bytes) + done, count - done);
    return Finish(*p, ok, count, written);
  }
  if (!p) {
    if (written) *written = 0;
    return kFalse;
  }
  // Left: nothing to write, no bytes, or a gathering printer.
  const bool ok = count == 0 || (bytes && Gather(*p, bytes, count));
  return Finish(*p, ok, count, written);
}

BOOL PosixSpooler::Finish(Printer& p, bool ok, DWORD count, DWORD* written) {
  if (written) *written = ok ? count : 0;
  if (!ok) p.failed.store(true);
  return ok ? kTrue : kFalse;
}

BOOL PosixSpooler::GetPrinterW(HANDLE printer, BYTE* buf, DWORD cb, DWORD* needed) {
  const Printer* p = Find(printer);
  if (!p) return kFalse;
  const PrinterSetup& s = p->setup;
  return platform::FillLevel2<PRINTER_INFO_2W>(
      s.has_printer_devmode ? s.printer_devmode.data() : nullptr, s.printer_devmode.size(), buf, cb,
      needed);
}

BOOL PosixSpooler::GetJobW(HANDLE printer, DWORD, BYTE* buf, DWORD cb, DWORD* needed) {
  const Printer* p = Find(printer);
  if (!p) return kFalse;
  const PrinterSetup& s = p->setup;
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
  if (fd < 0) return InvalidHandleValue();
  // Opened to be read: page files are read back whole, in small blocks.
  read_ahead_.Start(fd);
  return FromFd(fd);
}

BOOL PosixFiles::ReadFile(HANDLE file, void* buf, DWORD count, DWORD* read) {
  const ssize_t n = read_ahead_.Read(Fd(file), buf, count);
  if (read) *read = n > 0 ? static_cast<DWORD>(n) : 0;
  return n >= 0 ? kTrue : kFalse;
}

BOOL PosixFiles::WriteFile(HANDLE file, const void* bytes, DWORD count, DWORD* written) noexcept {
  const bool ok = count == 0 || WriteAll(Fd(file), bytes, count);
  if (written) *written = ok ? count : 0;
  return ok ? kTrue : kFalse;
}

BOOL PosixFiles::CloseHandle(HANDLE file) {
  read_ahead_.Stop(Fd(file));
  return ::close(Fd(file)) == 0 ? kTrue : kFalse;
}

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
