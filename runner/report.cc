#include "runner/report.h"

#include <cstring>

namespace pclspool::runner {

std::string Reason(int err) { return std::strerror(err); }

std::string InputName(const std::string& input) { return input == "-" ? "standard input" : input; }

}  // namespace pclspool::runner
