#include "runner/page_file_guard.h"

#include <cerrno>
#include <cstring>

#include "platform/posix/utf.h"

namespace pclspool::runner {

namespace {

// The errno of the call that just failed; a failure that set none is an
// I/O error.
int LastError() { return errno != 0 ? errno : EIO; }

}  // namespace

std::vector<PageFileGuard::Loss> PageFileGuard::TakeLosses() {
  std::vector<Loss> taken;
  taken.swap(losses_);
  return taken;
}

UINT PageFileGuard::GetSystemDirectoryW(WCHAR* buf, UINT size) {
  return files_.GetSystemDirectoryW(buf, size);
}

WCHAR PageFileGuard::PathSeparator() { return files_.PathSeparator(); }

HANDLE PageFileGuard::CreateNewHidden(const WCHAR* path) {
  errno = 0;
  const HANDLE h = files_.CreateNewHidden(path);
  if (h == InvalidHandleValue()) {
    // The module reports this one itself, on the debugger.
    losses_.push_back({posix::Utf16ToUtf8(path), std::strerror(LastError()), false});
    ++lost_;
  } else {
    writing_[h] = PageFile{path, 0};
  }
  return h;
}

HANDLE PageFileGuard::OpenExisting(const WCHAR* path) { return files_.OpenExisting(path); }

BOOL PageFileGuard::ReadFile(HANDLE file, void* buf, DWORD count, DWORD* read) {
  return files_.ReadFile(file, buf, count, read);
}

BOOL PageFileGuard::WriteFile(HANDLE file, const void* bytes, DWORD count,
                              DWORD* written) noexcept {
  errno = 0;
  const BOOL ok = files_.WriteFile(file, bytes, count, written);
  if (!ok) {
    auto it = writing_.find(file);
    if (it != writing_.end() && it->second.error == 0) it->second.error = LastError();
  }
  return ok;
}

BOOL PageFileGuard::CloseHandle(HANDLE file) {
  errno = 0;
  const BOOL ok = files_.CloseHandle(file);
  auto it = writing_.find(file);
  if (it == writing_.end()) return ok;
  PageFile page = it->second;
  writing_.erase(it);
  // Some file systems report a failed write only when the file is closed.
  if (!ok && page.error == 0) page.error = LastError();
  if (page.error != 0) {
    // The module deletes the file itself, and leaves the page out.
    losses_.push_back({posix::Utf16ToUtf8(page.path), std::strerror(page.error), true});
    ++lost_;
  }
  return ok;
}

BOOL PageFileGuard::DeleteFileW(const WCHAR* path) { return files_.DeleteFileW(path); }

}  // namespace pclspool::runner
