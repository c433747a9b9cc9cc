// Where a job's page files go.
#pragma once

#include <string>

namespace pclspool::runner {

// The spool directory: the one given, or a fresh private one (mode 0700)
// that is removed with everything in it when the run ends, whatever way.
class SpoolDir {
 public:
  SpoolDir() = default;
  SpoolDir(const SpoolDir&) = delete;
  SpoolDir& operator=(const SpoolDir&) = delete;
  ~SpoolDir();

  // The directory given, which must exist and take new files (page files
  // that cannot be created are dropped without a word from the module), or
  // a fresh private one in $TMPDIR (or /tmp). False with *error set.
  bool Use(const std::string& given, std::string* error);

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  bool owned_ = false;
};

}  // namespace pclspool::runner
