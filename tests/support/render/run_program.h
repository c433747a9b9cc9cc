// Runs a program (Ghostscript, gpcl6, the pclspool command) to its end,
// with its standard output and error in a log file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace pclspool::render {

struct ProgramRun {
  int status = -1;     // exit status; 128 + signal; -1 when it could not start
  std::string output;  // what it wrote to standard output and error

  bool Ok() const { return status == 0; }
  // "NAME exited with S: OUTPUT" for messages.
  std::string Describe(const std::string& name) const;
};

// argv[0] is looked up on PATH when it holds no slash. Standard input is
// /dev/null; the output goes to `log` (overwritten) and is read back. The
// program runs in `dir`, or here when it is empty.
ProgramRun RunProgram(const std::vector<std::string>& argv, const std::filesystem::path& log,
                      const std::filesystem::path& dir = {});

}  // namespace pclspool::render
