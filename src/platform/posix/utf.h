// UTF-8 <-> UTF-16 for the POSIX layer: paths, INI files, debugger output.
// Ill-formed input becomes U+FFFD, never a crash or a read past the end.
#pragma once

#include <string>
#include <string_view>

namespace pclspool::posix {

std::string Utf16ToUtf8(std::u16string_view s);
std::u16string Utf8ToUtf16(std::string_view s);

}  // namespace pclspool::posix
