// For the start of a test (or its fixture's SetUp) that needs tools of the
// machine: `missing` says what is missing, empty when nothing is. The test
// is skipped with those words, or fails where CI is set, since CI installs
// every tool a test needs.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#define PCLSPOOL_REQUIRE(missing)                                                        \
  do {                                                                                   \
    const std::string pclspool_missing_ = (missing);                                     \
    if (!pclspool_missing_.empty()) {                                                    \
      if (const char* ci_ = std::getenv("CI"); ci_ && *ci_) FAIL() << pclspool_missing_; \
      GTEST_SKIP() << pclspool_missing_;                                                 \
    }                                                                                    \
  } while (false)
