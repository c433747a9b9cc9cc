#include "platform/posix/posix_profile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>

#include "platform/posix/utf.h"

namespace pclspool::posix {

namespace {

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0;
}

bool SameIgnoringAsciiCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 0x20);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 0x20);
    if (x != y) return false;
  }
  return true;
}

// name in dir, or the entry whose name differs from it only in ASCII case
// (the smallest such entry, so that the choice does not depend on the
// directory's order).
std::string FindInDirectory(const std::string& dir, const std::string& name) {
  const std::string exact = dir.empty() ? name : dir + "/" + name;
  if (Exists(exact)) return exact;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return exact;
  std::optional<std::string> best;
  while (const dirent* e = ::readdir(d)) {
    const std::string entry = e->d_name;
    if (SameIgnoringAsciiCase(entry, name) && (!best || entry < *best)) best = entry;
  }
  ::closedir(d);
  if (!best) return exact;
  return dir.empty() ? *best : dir + "/" + *best;
}

// The whole file, or nothing when it cannot be read, is not a regular file
// or is larger than kMaxProfileBytes.
std::optional<std::string> ReadSmallFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::optional<std::string> result;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
      static_cast<uint64_t>(st.st_size) <= kMaxProfileBytes) {
    std::string bytes;
    char chunk[8192];
    bool ok = true;
    for (;;) {
      const ssize_t n = ::read(fd, chunk, sizeof(chunk));
      if (n < 0) {
        if (errno == EINTR) continue;
        ok = false;
        break;
      }
      if (n == 0) break;
      bytes.append(chunk, static_cast<std::size_t>(n));
      // The file may have grown since fstat.
      if (bytes.size() > kMaxProfileBytes) {
        ok = false;
        break;
      }
    }
    if (ok) result = std::move(bytes);
  }
  ::close(fd);
  return result;
}

}  // namespace

void PosixProfile::SetFilePath(const std::string& path) {
  std::lock_guard lock(mu_);
  path_ = path;
}

void PosixProfile::SetOverride(const std::u16string& section, const std::u16string& key,
                               const std::u16string& value) {
  std::lock_guard lock(mu_);
  SetProfileOverride(overrides_, section, key, value);
}

void PosixProfile::ClearOverrides() {
  std::lock_guard lock(mu_);
  overrides_.clear();
}

std::string PosixProfile::ResolvePath(const WCHAR* file) {
  std::lock_guard lock(mu_);
  return ResolvePathLocked(file);
}

std::string PosixProfile::ResolvePathLocked(const WCHAR* file) const {
  if (!file || !file[0]) return "";
  const std::string name = Utf16ToUtf8(file);
  if (name.find_first_of("/\\") != std::string::npos) return name;
  if (path_.empty()) return FindInDirectory("", name);
  if (path_.back() == '/' || IsDirectory(path_)) {
    std::string dir = path_;
    while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
    return FindInDirectory(dir, name);
  }
  return path_;
}

ProfileDocument PosixProfile::LoadLocked(const WCHAR* file) const {
  const std::string path = ResolvePathLocked(file);
  if (path.empty()) return {};
  const auto bytes = ReadSmallFile(path);
  if (!bytes) return {};
  return ParseProfile(*bytes);
}

UINT PosixProfile::GetPrivateProfileIntW(const WCHAR* section, const WCHAR* key, int def,
                                         const WCHAR* file) {
  std::lock_guard lock(mu_);
  return ReadProfileInt(LoadLocked(file), overrides_, section, key, def);
}

DWORD PosixProfile::GetPrivateProfileStringW(const WCHAR* section, const WCHAR* key,
                                             const WCHAR* def, WCHAR* buf, DWORD size,
                                             const WCHAR* file) {
  if (!buf || size == 0) return 0;
  std::lock_guard lock(mu_);
  return ReadProfileString(LoadLocked(file), overrides_, section, key, def, buf, size);
}

}  // namespace pclspool::posix
