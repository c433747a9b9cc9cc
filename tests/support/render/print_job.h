// A job printed through the pclspool command, and what the printer makes
// of it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/render/page_image.h"

namespace pclspool::render {

// `pclspool print OPTIONS JOB -o OUTPUT`, run in OUTPUT's directory (so
// that it finds no OrvWater.INI but one given with --ini).
testing::ProgramRun PrintJob(const std::vector<std::string>& options,
                             const std::filesystem::path& job,
                             const std::filesystem::path& output);

// PrintJob, then the output rendered at `dpi`; a failed print is the error.
PageImages PrintAndRender(const std::vector<std::string>& options, const std::filesystem::path& job,
                          const std::filesystem::path& output, int dpi);

}  // namespace pclspool::render
