// Raster and image documents become PDF before they are printed, so that
// n-up, booklets and the watermark apply to them as to any PDF: PWG raster
// (what the server writes out of PWG and Apple raster) through cups-filters'
// rastertopdf, JPEG and PNG through its imagetopdf, fitted to the job's
// paper as print-scaling asks.
#pragma once

#include <atomic>
#include <string>

#include "printer-app/job_command.h"

namespace pclspool::app {

// Writes `pdf` from the command's input. False with *error (the program's
// own error lines when it gives any) when the document cannot be turned,
// or when *cancel came true, which stops the program at once.
bool ConvertToPdf(const JobCommand& command, const std::string& pdf,
                  const std::atomic<bool>* cancel, std::string* error);

}  // namespace pclspool::app
