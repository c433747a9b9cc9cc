// What the job's document is: PDF, PostScript or PCL. The runner
// recognises PDF and PostScript by their first bytes and takes anything
// else for PCL; the filter looks at a file by the runner's own rule
// (cli/input_kind.h), and goes by the
// type CUPS names (CONTENT_TYPE) only for standard input, which it cannot
// look into without taking bytes from the runner.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "job_request.h"

namespace pclspool::filter {

// As many bytes as the runner looks at.
inline constexpr std::size_t kKindProbeBytes = 1024;

InputKind KindOfContent(const uint8_t* bytes, std::size_t count);

// The kind of a MIME type this filter takes (any case); none for another.
std::optional<InputKind> KindOfContentType(std::string_view type);

}  // namespace pclspool::filter
