// Placeholder until the INI reader lands: every key reads as missing.
#include "platform/posix/posix_profile.h"

namespace pclspool::posix {

void PosixProfile::SetFilePath(const std::string& path) {
  std::lock_guard lock(mu_);
  path_ = path;
}

void PosixProfile::SetOverride(const std::u16string& section, const std::u16string& key,
                               const std::u16string& value) {
  std::lock_guard lock(mu_);
  overrides_.push_back({section, key, value});
}

void PosixProfile::ClearOverrides() {
  std::lock_guard lock(mu_);
  overrides_.clear();
}

UINT PosixProfile::GetPrivateProfileIntW(const WCHAR*, const WCHAR*, int def, const WCHAR*) {
  return static_cast<UINT>(def);
}

DWORD PosixProfile::GetPrivateProfileStringW(const WCHAR*, const WCHAR* key, const WCHAR* def,
                                             WCHAR* buf, DWORD size, const WCHAR*) {
  if (!buf || size == 0) return 0;
  if (!key) {
    buf[0] = 0;
    if (size > 1) buf[1] = 0;
    return 0;
  }
  DWORD n = 0;
  while (def && def[n] && n + 1 < size) {
    buf[n] = def[n];
    ++n;
  }
  buf[n] = 0;
  return n;
}

}  // namespace pclspool::posix
