// A job's processes, found by their environment: cupsd starts a job's
// filters and backend itself, so they are looked up, never by name.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace pclspool::cups_test {

// Process ids whose environment holds `entry` ("NAME=value"): a job's
// filters, backend and their children, by the TMPDIR cupsd gives them.
std::vector<pid_t> ProcessesWith(const std::string& entry);

}  // namespace pclspool::cups_test
