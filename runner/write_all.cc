#include "runner/write_all.h"

#include "platform/posix/posix_platform.h"

namespace pclspool::runner {

bool WriteAll(int fd, std::string_view text) {
  return posix::WriteAll(fd, text.data(), text.size());
}

}  // namespace pclspool::runner
