#include "runner/output_gate.h"

namespace pclspool::runner {

static_assert(std::atomic<bool>::is_always_lock_free,
              "the cancel flag is set from a signal handler");

BOOL GatedSpooler::WritePrinter(HANDLE printer, const void* bytes, DWORD count,
                                DWORD* written) noexcept {
  if (gate_.IsShut()) {
    if (written) *written = 0;
    return kFalse;
  }
  return spooler_.WritePrinter(printer, bytes, count, written);
}

BOOL GatedSpooler::GetPrinterW(HANDLE printer, BYTE* buf, DWORD cb, DWORD* needed) {
  return spooler_.GetPrinterW(printer, buf, cb, needed);
}

BOOL GatedSpooler::GetJobW(HANDLE printer, DWORD job_id, BYTE* buf, DWORD cb, DWORD* needed) {
  return spooler_.GetJobW(printer, job_id, buf, cb, needed);
}

UINT GatedFiles::GetSystemDirectoryW(WCHAR* buf, UINT size) {
  return files_.GetSystemDirectoryW(buf, size);
}

WCHAR GatedFiles::PathSeparator() { return files_.PathSeparator(); }

HANDLE GatedFiles::CreateNewHidden(const WCHAR* path) { return files_.CreateNewHidden(path); }

HANDLE GatedFiles::OpenExisting(const WCHAR* path) {
  if (gate_.IsShut()) return InvalidHandleValue();
  return files_.OpenExisting(path);
}

BOOL GatedFiles::ReadFile(HANDLE file, void* buf, DWORD count, DWORD* read) {
  if (gate_.IsShut()) {
    if (read) *read = 0;
    return kFalse;
  }
  return files_.ReadFile(file, buf, count, read);
}

BOOL GatedFiles::WriteFile(HANDLE file, const void* bytes, DWORD count, DWORD* written) noexcept {
  return files_.WriteFile(file, bytes, count, written);
}

BOOL GatedFiles::CloseHandle(HANDLE file) { return files_.CloseHandle(file); }

BOOL GatedFiles::DeleteFileW(const WCHAR* path) { return files_.DeleteFileW(path); }

}  // namespace pclspool::runner
