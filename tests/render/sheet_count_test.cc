// No phantom sheets: a real job prints as many sheets through `pclspool
// print` as it does alone, with and without a watermark, however its
// producer ends it (a reset, an eject, a UEL, HP-GL/2 set-up after the last
// form feed; pages separated by resets). With a watermark, every sheet
// still shows all of its page and carries the watermark besides.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/render/page_compare.h"
#include "support/render/print_job.h"
#include "support/render/real_job_list.h"
#include "support/render/renderer.h"
#include "support/scratch_dir.h"

namespace pclspool::render {
namespace {

constexpr int kDpi = 100;
// The watermark of examples/OrvWater.INI at this resolution inks thousands
// of pixels; a sheet with fewer extra ink pixels has none.
constexpr std::size_t kMinWatermarkInk = 500;

// Ink of `page` that `sheet` lacks, and ink of `sheet` that `page` lacks.
struct InkChange {
  std::size_t lost = 0;
  std::size_t added = 0;
};

InkChange CompareInk(const PageImage& page, const PageImage& sheet) {
  InkChange change;
  if (page.pixels.size() != sheet.pixels.size()) return {page.pixels.size(), sheet.pixels.size()};
  for (std::size_t i = 0; i < page.pixels.size(); ++i) {
    const bool before = page.pixels[i] <= kInkLevel;
    const bool after = sheet.pixels[i] <= kInkLevel;
    change.lost += before && !after;
    change.added += after && !before;
  }
  return change;
}

class RenderedSheets : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    PCLSPOOL_REQUIRE_RENDER_TOOLS();
    const JobFile job = RealJob(GetParam());
    ASSERT_EQ(job.error, "");
    job_ = job.path;
    alone_ = RenderPages(job_, kDpi);
    ASSERT_EQ(alone_.error, "");
    ASSERT_FALSE(alone_.pages.empty());
  }

  PageImages Watermarked() {
    const std::string ini = std::string(PCLSPOOL_EXAMPLES) + "/OrvWater.INI";
    return PrintAndRender({"--ini", ini, "--watermark", "1"}, job_, dir_ / "watermark.prn", kDpi);
  }

  testing::ScratchDir dir_;
  std::filesystem::path job_;
  PageImages alone_;
};

TEST_P(RenderedSheets, AsManySheetsAsTheJobAloneWithAndWithoutAWatermark) {
  const PageImages plain = PrintAndRender({}, job_, dir_ / "plain.prn", kDpi);
  ASSERT_EQ(plain.error, "");
  EXPECT_EQ(plain.pages.size(), alone_.pages.size()) << "sheets without a watermark";

  const PageImages marked = Watermarked();
  ASSERT_EQ(marked.error, "");
  ASSERT_EQ(marked.pages.size(), alone_.pages.size()) << "sheets with a watermark";
  for (std::size_t i = 0; i < alone_.pages.size(); ++i) {
    const InkChange change = CompareInk(alone_.pages[i], marked.pages[i]);
    EXPECT_EQ(change.lost, 0u) << "sheet " << i + 1 << " lost ink of its page";
  }
  // The first sheet is watermarked whatever the job does later.
  EXPECT_GE(CompareInk(alone_.pages[0], marked.pages[0]).added, kMinWatermarkInk);
}

// lj4dith and lj4dithp begin every page with a reset (ESC E), which
// deletes temporary soft fonts: the watermark's font is permanent so that
// their later sheets still carry it.
TEST_P(RenderedSheets, EverySheetCarriesTheWatermark) {
  const PageImages marked = Watermarked();
  ASSERT_EQ(marked.error, "");
  ASSERT_EQ(marked.pages.size(), alone_.pages.size());
  for (std::size_t i = 0; i < alone_.pages.size(); ++i) {
    EXPECT_GE(CompareInk(alone_.pages[i], marked.pages[i]).added, kMinWatermarkInk)
        << "sheet " << i + 1 << " has no watermark";
  }
}

INSTANTIATE_TEST_SUITE_P(RealJobs, RenderedSheets, ::testing::ValuesIn(RealJobNames()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace pclspool::render
