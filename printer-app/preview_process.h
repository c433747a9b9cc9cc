// The picture of a watermark, made in a process of its own as every job
// is (the runner is one job per process): the server runs its own program
// again as
//
//   pclspool-printer-app watermark-preview --ini=FILE --watermark=N (0: none)
//       --paper=a4 --dpi=75 --work-dir=DIR
//
// which writes the PNG to standard output, or one line to standard error
// and exits with 1.
#pragma once

#include <string>
#include <string_view>

namespace pclspool::app {

inline constexpr std::string_view kPreviewCommand = "watermark-preview";

int PreviewProcessMain(int argc, char** argv);

}  // namespace pclspool::app
