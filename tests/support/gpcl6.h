// Where the PCL interpreter gpcl6 (GhostPCL), which prints our output for
// the tests and the benchmarks, is found: $PCLSPOOL_GPCL6; else
// ../shared/tools/gpcl6 beside the checkout; else the cache directory that
// scripts/get-gpcl6 builds it into ($PCLSPOOL_GPCL6_CACHE, by default
// ${XDG_CACHE_HOME:-~/.cache}/pclspool/gpcl6).
#pragma once

#include <string>

namespace pclspool::testing {

// The first of those places that holds a program; empty when none does.
std::string Gpcl6Path();

// The places looked in, for a message saying that gpcl6 is missing.
std::string Gpcl6Places();

}  // namespace pclspool::testing
