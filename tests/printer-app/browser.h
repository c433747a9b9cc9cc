// The browser tests' Chromium: headless, driven by a node script of
// browser/ over the DevTools protocol.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pclspool::apptest {

// Empty when Chromium and node can run; else what is missing.
std::string MissingBrowser();

// Runs browser/SCRIPT with Chromium and `args`; the JSON line it printed.
std::string RunBrowserScript(const std::string& script, const std::vector<std::string>& args);

}  // namespace pclspool::apptest

// For a test that needs the browser: skips with the reason, or fails under
// CI.
#define PCLSPOOL_REQUIRE_BROWSER()                                            \
  do {                                                                        \
    const std::string missing_browser_ = ::pclspool::apptest::MissingBrowser(); \
    if (!missing_browser_.empty()) {                                          \
      if (std::getenv("CI")) FAIL() << missing_browser_;                      \
      GTEST_SKIP() << missing_browser_;                                       \
    }                                                                         \
  } while (false)
