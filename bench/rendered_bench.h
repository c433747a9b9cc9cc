// A PDF through the command, rendered and placed by it, against Ghostscript
// alone writing the same kind of PCL (its ljet4 device, at the same
// resolution) to the same sink.
#pragma once

#include <string>

#include "command_bench.h"

namespace pclspool::bench {

// Writes a PDF of `pages` A4 pages of text (56 lines each, a frame and a
// grey band) to path, made by Ghostscript from a PostScript program.
// False with *error set when it cannot.
bool GenerateTextPdf(const std::string& path, int pages, std::string* error);

// pclspool print of the PDF, one-up A4 at 600 dpi, against gs -sDEVICE=ljet4
// -r600 of the same PDF.
CommandResult RunRenderedCommand(const CommandOptions& o, const std::string& pdf,
                                 const std::string& ini);

}  // namespace pclspool::bench
