#include "support/scratch_dir.h"

#include <stdlib.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace pclspool::testing {

ScratchDir::ScratchDir(const std::string& tag) {
  std::error_code ec;
  const std::filesystem::path tmp = std::filesystem::temp_directory_path(ec);
  std::string pattern = ((ec ? "/tmp" : tmp) / ("pclspool-" + tag + ".XXXXXX")).string();
  if (!::mkdtemp(pattern.data())) {
    std::fprintf(stderr, "cannot make a scratch directory %s: %s\n", pattern.c_str(),
                 std::strerror(errno));
    std::abort();
  }
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  if (keep_) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace pclspool::testing
