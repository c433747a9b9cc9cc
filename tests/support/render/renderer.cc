#include "support/render/renderer.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "support/child_process.h"
#include "support/gpcl6.h"
#include "support/scratch_dir.h"

namespace pclspool::render {

std::string MissingRenderTools() {
  std::string missing;
  if (testing::Gpcl6Path().empty()) {
    missing = "gpcl6 is not at " + testing::Gpcl6Places() +
              " (scripts/get-gpcl6 builds it; or set PCLSPOOL_GPCL6 to its path)";
  }
  if (!testing::OnPath("gs")) {
    missing += std::string(missing.empty() ? "" : "; ") +
               "gs (Ghostscript, which makes the test jobs) is not on PATH";
  }
  return missing;
}

PageImages RenderPages(const std::filesystem::path& job, int dpi) {
  const testing::ScratchDir dir;
  const auto pages = dir / "pages.pgm";
  // Without %d in the output name every page goes into the one file, back
  // to back.
  const testing::ProgramRun run = testing::RunProgram(
      {.argv = {testing::Gpcl6Path(), "-q", "-dNOPAUSE", "-dBATCH", "-sDEVICE=pgmraw",
                "-r" + std::to_string(dpi), "-sOutputFile=" + pages.string(), job.string()}});
  if (!run.Ok()) return {{}, run.Describe("gpcl6 on " + job.string())};
  std::ifstream in(pages, std::ios::binary);
  // No file: nothing was printed.
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return ParsePgmImages(bytes, job.string() + " rendered by gpcl6");
}

}  // namespace pclspool::render
