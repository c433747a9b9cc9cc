// The real jobs: made by Ghostscript once, then taken from the build tree.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "support/render/real_jobs.h"
#include "support/render/renderer.h"

namespace pclspool::render {
namespace {

std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::size_t Count(const std::string& text, const std::string& word) {
  std::size_t n = 0;
  for (auto at = text.find(word); at != std::string::npos; at = text.find(word, at + 1)) ++n;
  return n;
}

TEST(RenderedJobs, MadeOnceForEachDeviceAndPageCount) {
  PCLSPOOL_REQUIRE_RENDER_TOOLS();
  struct Case {
    const char* device;
    int pages;
    std::string mark;  // what the job holds `times` times
    std::size_t times;
  } cases[] = {
      {"pdfwrite", 4, "/Count 4", 1},  // the page tree
      {"ljet4", 3, "\x1B*r1A", 3},    // raster graphics, once a page
      {"ljet4", 6, "\x1B*r1A", 6},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.device) + " " + std::to_string(c.pages));
    const JobFile first = GhostscriptJob(c.device, c.pages);
    ASSERT_EQ(first.error, "");
    EXPECT_EQ(first.path.parent_path(), std::filesystem::path(PCLSPOOL_RENDER_CACHE));
    const std::string bytes = Read(first.path);
    EXPECT_EQ(Count(bytes, c.mark), c.times);
    const auto made = std::filesystem::last_write_time(first.path);
    const JobFile again = GhostscriptJob(c.device, c.pages);
    EXPECT_EQ(again.path, first.path);
    EXPECT_EQ(std::filesystem::last_write_time(again.path), made) << "made twice";
  }
  EXPECT_NE(GhostscriptJob("ljet4", 10).error, "");
  EXPECT_NE(GhostscriptJob("no-such-device", 1).error.find("gs -sDEVICE=no-such-device exited"),
            std::string::npos);
}

}  // namespace
}  // namespace pclspool::render
