// The words of the runner's one-line diagnostics.
#pragma once

#include <string>

namespace pclspool::runner {

// The system's words for errno value err.
std::string Reason(int err);

// "standard input" for "-", else the name itself.
std::string InputName(const std::string& input);

}  // namespace pclspool::runner
