// How Ghostscript is asked to render, and what is made of its messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "rendering/ghostscript.h"

namespace pclspool::rendering {
namespace {

TEST(Ghostscript, InputNamesAreNeverOptionsOrSpecialFiles) {
  const struct {
    const char* input;
    const char* argument;
  } cases[] = {
      {"doc.pdf", "./doc.pdf"},
      {"-dNOSAFER", "./-dNOSAFER"},
      {"%pipe%rm -rf x", "./%pipe%rm -rf x"},
      {"|cat", "./|cat"},
      {"/abs/doc.ps", "/abs/doc.ps"},
      {"-", "-"},
  };
  for (const auto& c : cases) {
    GhostscriptCommand command;
    command.resolution = 600;
    command.width = 3507;
    command.height = 4959;
    command.input = c.input;
    const std::vector<std::string> args = GhostscriptArguments(command);
    EXPECT_EQ(args.back(), c.argument) << c.input;
    EXPECT_EQ(std::count(args.begin(), args.end(), "-dSAFER"), 1) << c.input;
    EXPECT_EQ(std::count(args.begin(), args.end(), "-g3507x4959"), 1) << c.input;
    EXPECT_EQ(std::count_if(args.begin(), args.end(),
                            [](const std::string& a) { return a.rfind("-sPageList", 0) == 0; }),
              0)
        << "every page unless asked";
  }
}

TEST(Ghostscript, TheReasonIsItsFirstErrorLine) {
  const struct {
    const char* name;
    std::string messages;
    std::string reason;
  } cases[] = {
      {"a damaged PDF",
       "   **** Error: Couldn't initialise file.\n               Output may be incorrect.\n",
       "Error: Couldn't initialise file."},
      {"a PostScript error after other lines",
       "Loading font\nError: /undefined in foo\nOperand stack:\n", "Error: /undefined in foo"},
      {"no error: the first line", "Unrecoverable something\nmore\n", "Unrecoverable something"},
      {"nothing at all", "", ""},
      {"control characters from the document", "Error: /undefined in \x1B[2Jx\n",
       "Error: /undefined in ?[2Jx"},
  };
  for (const auto& c : cases) EXPECT_EQ(GhostscriptReason(c.messages), c.reason) << c.name;
}

}  // namespace
}  // namespace pclspool::rendering
