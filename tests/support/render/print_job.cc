#include "support/render/print_job.h"

#include "support/render/renderer.h"

namespace pclspool::render {

testing::ProgramRun PrintJob(const std::vector<std::string>& options,
                             const std::filesystem::path& job,
                             const std::filesystem::path& output) {
  std::vector<std::string> argv = {PCLSPOOL_CLI_PATH, "print"};
  argv.insert(argv.end(), options.begin(), options.end());
  const std::filesystem::path out = std::filesystem::absolute(output);
  argv.insert(argv.end(), {std::filesystem::absolute(job).string(), "-o", out.string()});
  return testing::RunProgram({.argv = argv, .dir = out.parent_path()});
}

PageImages PrintAndRender(const std::vector<std::string>& options, const std::filesystem::path& job,
                          const std::filesystem::path& output, int dpi) {
  const testing::ProgramRun run = PrintJob(options, job, output);
  if (!run.Ok()) return {{}, run.Describe("pclspool print on " + job.string())};
  return RenderPages(output, dpi);
}

}  // namespace pclspool::render
