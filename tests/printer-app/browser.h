// The browser tests' Chromium: headless, driven by a node script of
// browser/ over the DevTools protocol.
#pragma once

#include <string>
#include <vector>

#include "support/required.h"

namespace pclspool::apptest {

// Empty when Chromium and node can run; else what is missing.
std::string MissingBrowser();

// Runs browser/SCRIPT with Chromium and `args`; the JSON line it printed.
std::string RunBrowserScript(const std::string& script, const std::vector<std::string>& args);

}  // namespace pclspool::apptest

// For a test that needs the browser: skips with the reason, or fails under
// CI.
#define PCLSPOOL_REQUIRE_BROWSER() PCLSPOOL_REQUIRE(::pclspool::apptest::MissingBrowser())
