// A private directory for a test's (or a whole run's) files: made afresh
// under TMPDIR, owner-only, and removed with everything in it at the end.
#pragma once

#include <filesystem>
#include <string>

namespace pclspool::testing {

class ScratchDir {
 public:
  // "pclspool-TAG.XXXXXX" under the temporary directory. Not being able to
  // make it ends the process with a message: nothing can go on without it.
  explicit ScratchDir(const std::string& tag = "test");
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // It stands for its path wherever a path is asked for.
  const std::filesystem::path& path() const { return path_; }
  operator const std::filesystem::path&() const { return path_; }
  std::string string() const { return path_.string(); }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  // Leaves the directory in place at the end, for a look at it.
  void Keep() { keep_ = true; }

 private:
  std::filesystem::path path_;
  bool keep_ = false;
};

}  // namespace pclspool::testing
