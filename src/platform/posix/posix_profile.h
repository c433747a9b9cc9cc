// Private-profile service on POSIX: our own reader of Windows-style INI
// files, with the Win32 results for values, integers and key-name lists.
//
// The file is read and parsed afresh at every call, so an edit between two
// calls (between two jobs, or two pages) is seen, as with Win32. A file that
// cannot be opened or read, is not a regular file or is larger than
// kMaxProfileBytes counts as missing: every key reads as its default and
// every list is empty.
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/profile_reader.h"

namespace pclspool::posix {

class PosixProfile final : public platform::Profile {
 public:
  // Where a file named without a directory (e.g. "OrvWater.INI") lives:
  //   ""              the name itself, relative to the working directory;
  //   a directory     the name in that directory (also when path ends
  //                   with '/');
  //   anything else   that file, whatever name is asked for.
  // In a directory, when no file has exactly the name asked for, one whose
  // name differs only in ASCII case is taken ("ORVWATER.INI" copied from
  // Windows). A name asked for with a '/' or '\' in it is used as it stands.
  void SetFilePath(const std::string& path);
  // A value that stands on top of the file's, as if the file held it. A key
  // that exists only as an override is listed after the file's keys. Setting
  // the same section and key again replaces the value.
  void SetOverride(const std::u16string& section, const std::u16string& key,
                   const std::u16string& value);
  void ClearOverrides();

  // The path the given file name is read from now ("" when it has none).
  std::string ResolvePath(const WCHAR* file);

  UINT GetPrivateProfileIntW(const WCHAR* section, const WCHAR* key, int def,
                             const WCHAR* file) override;
  DWORD GetPrivateProfileStringW(const WCHAR* section, const WCHAR* key, const WCHAR* def,
                                 WCHAR* buf, DWORD size, const WCHAR* file) override;

 private:
  std::string ResolvePathLocked(const WCHAR* file) const;
  ProfileDocument LoadLocked(const WCHAR* file) const;

  std::mutex mu_;
  std::string path_;
  std::vector<ProfileOverride> overrides_;
};

}  // namespace pclspool::posix
