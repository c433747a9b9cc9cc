// The README shows `pclspool --help` as the command prints it, and names
// every exit status the command and its runner use.
#include <gtest/gtest.h>

#include <string>

#include "cli/command_line.h"
#include "runner/exit_status.h"
#include "support/test_files.h"

namespace pclspool {
namespace {

TEST(Readme, ShowsTheCommandsHelpAsItIs) {
  const std::string readme = testing::ReadFile(std::string(PCLSPOOL_EXAMPLES) + "/../README.md");
  ASSERT_FALSE(readme.empty());
  const std::string block = "```\n" + cli::Usage() + "```\n";
  EXPECT_NE(readme.find(block), std::string::npos)
      << "the README's usage block differs from pclspool --help";
  const std::string usage = cli::Usage();
  for (const int status : {runner::kExitOk, runner::kExitWriteFailed, runner::kExitUsage,
                           runner::kExitCancelled, runner::kExitNoResources}) {
    const std::string n = std::to_string(status);
    const bool described = usage.find("; " + n + " ") != std::string::npos ||
                           usage.find(": " + n + " ") != std::string::npos ||
                           usage.find("\n" + n + " ") != std::string::npos ||
                           readme.find("status " + n) != std::string::npos;
    EXPECT_TRUE(described) << "exit status " << status << " is described nowhere";
  }
}

}  // namespace
}  // namespace pclspool
