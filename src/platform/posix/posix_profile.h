// Private-profile service on POSIX: our own reader of Windows-style INI
// files, with the Win32 results for values, integers and key-name lists.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace pclspool::posix {

class PosixProfile final : public platform::Profile {
 public:
  // Where the file named without a directory (e.g. "OrvWater.INI") lives.
  // An empty path means the name itself, relative to the working directory.
  void SetFilePath(const std::string& path);
  // A value that stands on top of the file's, as if the file held it.
  void SetOverride(const std::u16string& section, const std::u16string& key,
                   const std::u16string& value);
  void ClearOverrides();

  UINT GetPrivateProfileIntW(const WCHAR* section, const WCHAR* key, int def,
                             const WCHAR* file) override;
  DWORD GetPrivateProfileStringW(const WCHAR* section, const WCHAR* key, const WCHAR* def,
                                 WCHAR* buf, DWORD size, const WCHAR* file) override;

 private:
  std::mutex mu_;
  std::string path_;
  struct Override {
    std::u16string section, key, value;
  };
  std::vector<Override> overrides_;
};

}  // namespace pclspool::posix
