// A front end's own lines (messages, usage, progress) written whole.
#pragma once

#include <string_view>

namespace pclspool::runner {

// Writes all of `text` to fd, through interrupted and short writes. False
// when fd takes no more.
bool WriteAll(int fd, std::string_view text);

}  // namespace pclspool::runner
