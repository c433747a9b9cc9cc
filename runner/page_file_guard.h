// The page files of the command's job, watched on their way through the
// file services, so that the command can name every page that is lost and
// say why: a page whose file cannot be created, or whose file cannot take
// all its bytes (a full disk, a file size limit). The module itself leaves
// such pages out of the replays; the guard only reports them.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace pclspool::runner {

class PageFileGuard final : public platform::Files {
 public:
  struct Loss {
    std::string path;    // the page file, UTF-8
    std::string reason;  // what the system said
    bool created;        // false: the file could not be created
  };

  explicit PageFileGuard(platform::Files& files) : files_(files) {}

  // The pages lost since the last call, in order.
  std::vector<Loss> TakeLosses();
  // All pages lost so far.
  int lost() const { return lost_; }

  UINT GetSystemDirectoryW(WCHAR* buf, UINT size) override;
  WCHAR PathSeparator() override;
  HANDLE CreateNewHidden(const WCHAR* path) override;
  HANDLE OpenExisting(const WCHAR* path) override;
  BOOL ReadFile(HANDLE file, void* buf, DWORD count, DWORD* read) override;
  BOOL WriteFile(HANDLE file, const void* bytes, DWORD count, DWORD* written) noexcept override;
  BOOL CloseHandle(HANDLE file) override;
  BOOL DeleteFileW(const WCHAR* path) override;

 private:
  struct PageFile {
    std::u16string path;
    int error = 0;  // errno of the first failed write; 0 while none failed
  };

  platform::Files& files_;
  std::map<HANDLE, PageFile> writing_;  // page files open for writing
  std::vector<Loss> losses_;
  int lost_ = 0;
};

}  // namespace pclspool::runner
