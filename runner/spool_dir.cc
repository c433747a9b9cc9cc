#include "runner/spool_dir.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "runner/report.h"

namespace pclspool::runner {

SpoolDir::~SpoolDir() {
  if (!owned_) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

bool SpoolDir::Use(const std::string& given, std::string* error) {
  if (!given.empty()) {
    struct stat st {};
    if (::stat(given.c_str(), &st) != 0) {
      *error = "--spool-dir " + given + ": " + Reason(errno);
      return false;
    }
    if (!S_ISDIR(st.st_mode)) {
      *error = "--spool-dir " + given + ": " + Reason(ENOTDIR);
      return false;
    }
    // Page files that cannot be created are dropped without a word from
    // the module: refuse a directory they cannot go into.
    if (::access(given.c_str(), W_OK | X_OK) != 0) {
      *error = "--spool-dir " + given + ": " + Reason(errno);
      return false;
    }
    path_ = given;
    return true;
  }
  const char* tmp = ::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/pclspool.XXXXXX";
  if (!::mkdtemp(pattern.data())) {
    *error = "cannot create a spool directory in " + std::string(tmp && *tmp ? tmp : "/tmp") +
             ": " + Reason(errno);
    return false;
  }
  path_ = pattern;
  owned_ = true;
  return true;
}

}  // namespace pclspool::runner
