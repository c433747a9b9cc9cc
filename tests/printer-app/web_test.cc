// The web page of the settings file without a browser: its rules while no
// password is set. (Its picture against the printed page:
// browser_test.cc.)
#include <gtest/gtest.h>

#include "app_fixture.h"
#include "http_request.h"

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

}  // namespace
}  // namespace pclspool::apptest
