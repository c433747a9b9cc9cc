// The command's diagnostics: one line each on standard error, with the
// prefix of the job that runs ("pclspool: ", or the CUPS filter's).
#pragma once

#include <string>

namespace pclspool::cli {

// What lines start with from now on.
void SetReportPrefix(const std::string& prefix);

// Writes prefix, message and a line end to standard error.
void Report(const std::string& message);

// The system's words for errno value err.
std::string Reason(int err);

// "standard input" for "-", else the name itself.
std::string InputName(const std::string& input);

}  // namespace pclspool::cli
