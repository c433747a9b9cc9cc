// Pass-through as a printer sees it: every page of a real job printed
// through `pclspool print` without a watermark, one-up and as collated
// copies, is pixel for pixel the page the job prints alone.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/render/page_compare.h"
#include "support/render/print_job.h"
#include "support/render/real_job_list.h"
#include "support/render/renderer.h"
#include "support/scratch_dir.h"

namespace pclspool::render {
namespace {

// Enough to see a page moved by a 600-dpi dot's worth of state (a margin,
// an offset) in most places; pixel identity at this resolution is what the
// test asks.
constexpr int kDpi = 150;
constexpr int kCopies = 3;

// Sheet i shows page i % (pages alone) of the job.
void ExpectSheetsAre(const std::vector<PageImage>& alone, const std::vector<PageImage>& sheets,
                     int copies) {
  ASSERT_EQ(sheets.size(), alone.size() * copies) << "sheets printed";
  for (std::size_t i = 0; i < sheets.size(); ++i) {
    const PageDiff diff = ComparePages(alone[i % alone.size()], sheets[i]);
    EXPECT_TRUE(diff.same_size) << "sheet " << i + 1;
    EXPECT_EQ(diff.pixels, 0u) << "sheet " << i + 1 << " differs from page " << i % alone.size() + 1
                               << " alone in " << diff.box;
  }
}

class RenderedPassThrough : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override { PCLSPOOL_REQUIRE_RENDER_TOOLS(); }
  testing::ScratchDir dir_;
};

TEST_P(RenderedPassThrough, PagesAndCollatedCopiesPrintAsTheJobAlone) {
  const JobFile job = RealJob(GetParam());
  ASSERT_EQ(job.error, "");
  const PageImages alone = RenderPages(job.path, kDpi);
  ASSERT_EQ(alone.error, "");
  ASSERT_FALSE(alone.pages.empty());
  {
    SCOPED_TRACE("one-up");
    const PageImages plain = PrintAndRender({}, job.path, dir_ / "plain.prn", kDpi);
    ASSERT_EQ(plain.error, "");
    ExpectSheetsAre(alone.pages, plain.pages, 1);
  }
  {
    SCOPED_TRACE("collated copies");
    const PageImages copies = PrintAndRender(
        {"--set", "FINISHER UNIT=1", "--set", "GROUPSORT=1", "--set", "COPIES=" + std::to_string(kCopies)},
        job.path, dir_ / "copies.prn", kDpi);
    ASSERT_EQ(copies.error, "");
    ExpectSheetsAre(alone.pages, copies.pages, kCopies);
  }
}

INSTANTIATE_TEST_SUITE_P(RealJobs, RenderedPassThrough, ::testing::ValuesIn(RealJobNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace pclspool::render
