// The web page of the settings file without a browser: its rules while no
// password is set, and its picture of a watermark against what the printer
// prints of the same watermark (gpcl6 on the device stream).
#include <gtest/gtest.h>

#include "app_fixture.h"
#include "http_get.h"
#include "picture_compare.h"

namespace pclspool::apptest {
namespace {

class WebTest : public AppTest {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(server_.state_dir());
    std::filesystem::copy_file(std::filesystem::path(PCLSPOOL_EXAMPLES) / "OrvWater.INI",
                               server_.state_dir() / "OrvWater.INI");
    AppTest::SetUp();
  }
};

TEST_F(WebTest, RefusesEveryChangeWhileNoPasswordIsSet) {
  const std::string before = Read(server_.state_dir() / "OrvWater.INI");
  const HttpResponse page = HttpRequest(server_.port(), "/watermarks");
  ASSERT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("CONFIDENTIAL"), std::string::npos);
  EXPECT_EQ(page.body.find("value=\"save\""), std::string::npos) << "no form to change anything";
  for (const char* form : {"action=delete&replaces=DRAFT", "action=save&text=NEW&face=Arial&height=-90&angle=0&weight=400&dark=0"}) {
    EXPECT_EQ(HttpRequest(server_.port(), "/watermarks", form).status, 403) << form;
  }
  EXPECT_EQ(Read(server_.state_dir() / "OrvWater.INI"), before);
}

// The picture is the page the printer prints: its inked places, cell by
// cell, are where gpcl6 inks the printed blank page with the watermark.
TEST_F(WebTest, PictureOfAWatermarkIsWhatThePrinterPrints) {
  constexpr int kDpi = 60;  // the picture's
  const HttpResponse picture = HttpRequest(
      server_.port(),
      "/watermarks/preview.png?text=CONFIDENTIAL&face=Arial&height=-96&angle=450&weight=700&dark=2"
      "&centred=1&x=0&y=0");
  ASSERT_EQ(picture.status, 200) << picture.body;
  EXPECT_EQ(picture.type, "image/png");
  std::string error;
  const render::PageImage preview = DecodePng(picture.body, &error);
  ASSERT_EQ(error, "");

  const std::filesystem::path blank = dir_ / "blank.pcl";
  std::ofstream(blank) << "\x1b" "E\x1b&l26A\f";  // A4, as the picture's
  ASSERT_EQ(Print({"marked", blank, "application/vnd.hp-pcl", {"keyword watermark confidential"}, true})
                .state,
            "completed");
  const render::PageImages printed = render::RenderPages(Output("marked"), kDpi);
  ASSERT_EQ(printed.pages.size(), 1u) << printed.error;
  const render::PageImage& page = printed.pages[0];
  EXPECT_EQ(CompareWithPrinted(preview, page), "");
}

}  // namespace
}  // namespace pclspool::apptest
