#include "report.h"

#include <unistd.h>

#include <cstring>

#include "platform/posix/posix_platform.h"

namespace pclspool::cli {

namespace {

std::string g_report_prefix = "pclspool: ";

}  // namespace

void SetReportPrefix(const std::string& prefix) { g_report_prefix = prefix; }

void Report(const std::string& message) {
  const std::string line = g_report_prefix + message + "\n";
  posix::WriteAll(STDERR_FILENO, line.data(), line.size());
}

std::string Reason(int err) { return std::strerror(err); }

std::string InputName(const std::string& input) {
  return input == "-" ? "standard input" : input;
}

}  // namespace pclspool::cli
