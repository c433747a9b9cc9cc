// The command line of `pclspool`: what to do, and for `print` the job and
// where its printer output goes.
#pragma once

#include <string>

#include "runner/job_options.h"

namespace pclspool::cli {

enum class Command { kPrint, kHelp, kVersion };

struct CommandLine {
  Command command = Command::kHelp;
  runner::JobOptions job;
  std::string output;  // -o FILE; empty: standard output
};

// Reads argv. On a usage error returns false with a one-line reason in
// *error and leaves *out unspecified.
bool ParseCommandLine(int argc, const char* const* argv, CommandLine* out, std::string* error);

// The text of `pclspool --help`.
std::string Usage();

}  // namespace pclspool::cli
