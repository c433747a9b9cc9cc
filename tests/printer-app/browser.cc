#include "browser.h"

#include <unistd.h>

#include "support/child_process.h"

namespace pclspool::apptest {

namespace {

constexpr char kChromium[] = "/usr/bin/chromium";
constexpr char kNode[] = "/usr/bin/node";

}  // namespace

std::string MissingBrowser() {
  for (const char* program : {kChromium, kNode}) {
    if (::access(program, X_OK) != 0) {
      return std::string(program) + " is missing (Debian packages chromium, nodejs; scripts/install-deps)";
    }
  }
  return "";
}

std::string RunBrowserScript(const std::string& script, const std::vector<std::string>& args) {
  std::vector<std::string> argv = {kNode, std::string(PCLSPOOL_APP_TEST_DIR) + "/browser/" + script, kChromium};
  argv.insert(argv.end(), args.begin(), args.end());
  return testing::RunProgram({.argv = argv, .err = testing::Output::Stdout()}).out;
}

}  // namespace pclspool::apptest
