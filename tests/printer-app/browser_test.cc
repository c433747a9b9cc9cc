// The web page in a real browser: headless Chromium (driven over its
// DevTools pipe by browser/watermark_page.js) sets the administrator
// password, logs in, adds a watermark text and sees its picture; a job
// printed with the new text then shows it where the picture does.
#include <gtest/gtest.h>
#include <unistd.h>

#include "app_fixture.h"
#include "picture_compare.h"
#include "support/child_process.h"

namespace pclspool::apptest {
namespace {

constexpr char kChromium[] = "/usr/bin/chromium";
constexpr char kNode[] = "/usr/bin/node";

std::string MissingBrowser() {
  if (::access(kChromium, X_OK) != 0) return "Chromium is missing (Debian package chromium)";
  if (::access(kNode, X_OK) != 0) return "node is missing (Debian package nodejs)";
  return "";
}

class BrowserTest : public AppTest {
 protected:
  void SetUp() override {
    const std::string missing = MissingBrowser();
    if (!missing.empty()) {
      if (std::getenv("CI")) FAIL() << missing << " (scripts/install-deps)";
      GTEST_SKIP() << missing;
    }
    std::filesystem::create_directories(server_.state_dir());
    std::filesystem::copy_file(std::filesystem::path(PCLSPOOL_EXAMPLES) / "OrvWater.INI",
                               server_.state_dir() / "OrvWater.INI");
    AppTest::SetUp();
  }
};

TEST_F(BrowserTest, AddsAWatermarkTextThatThenPrintsWhereItsPictureShowsIt) {
  const std::filesystem::path shown = dir_ / "shown.png";
  const testing::ProgramRun browser = testing::RunProgram(
      {.argv = {kNode, std::string(PCLSPOOL_APP_TEST_DIR) + "/browser/watermark_page.js",
                kChromium, "http://127.0.0.1:" + std::to_string(server_.port()), "Copier2print",
                "Only For You", shown.string()},
       .err = testing::Output::Stdout()});
  ASSERT_NE(browser.out.find("{\"ok\":true}"), std::string::npos) << browser.out;

  // Printed with the new text, a blank A4 page shows what the page showed.
  const std::filesystem::path blank = dir_ / "blank.pcl";
  std::ofstream(blank) << "\x1b" "E\x1b&l26A\f";
  const IppJobResult r =
      Print({"only-for-you", blank, "application/vnd.hp-pcl", {"keyword watermark only-for-you"}, true});
  ASSERT_EQ(r.state, "completed") << r.output;
  std::string error;
  const render::PageImage picture = DecodePng(Read(shown), &error);
  ASSERT_EQ(error, "");
  const render::PageImages printed = render::RenderPages(Output("only-for-you"), 60);
  ASSERT_EQ(printed.pages.size(), 1u) << printed.error;
  EXPECT_EQ(CompareWithPrinted(picture, printed.pages[0]), "");
}

}  // namespace
}  // namespace pclspool::apptest
