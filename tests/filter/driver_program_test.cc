// The driver program as cups-driverd runs it, and the labels it writes:
// the queue's PPD lists the settings file's own watermark texts.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "filter/ppd_watermarks.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/ppd.h>

namespace pclspool::filter {
namespace {

namespace fs = std::filesystem;

TEST(PpdLabel, TextsBecomeLatin1Labels) {
  const struct {
    const char* text;
    const char* label;
  } cases[] = {
      {"CONFIDENTIAL", "CONFIDENTIAL"},
      {"Entw\xC3\xBC" "rfe", "Entw<FC>rfe"},           // Latin-1 in hex
      {"A: b/c \"d\"", "A<3A> b<2F>c <22>d<22>"},     // what ends a label or a string
      {"\xE6\x9C\xBA\xE5\xAF\x86", "??"},              // beyond Latin-1
      {"tab\there", "tab?here"},
      {"\xFF broken", "? broken"},
      {"", "?"},
  };
  for (const auto& c : cases) EXPECT_EQ(PpdLabel(c.text), c.label) << c.text;
  EXPECT_LE(PpdLabel(std::string(500, 'x')).size(), 120u);
}

TEST(DriverProgram, ListsThePpdAndWritesTheSettingsFilesTexts) {
  const testing::ScratchDir dir{"driver"};
  fs::create_directories(dir / "pclspool");
  std::ofstream(dir / "pclspool" / "OrvWater.INI")
      << "[StringSummary]\nCONFIDENTIAL=1\nEntw\xC3\xBC" "rfe=1\nTOP: SECRET=1\n";
  const auto driver = [&](std::vector<std::string> args) {
    args.insert(args.begin(), PCLSPOOL_DRIVER);
    return testing::RunProgram({.argv = args,
                                .env = {"CUPS_SERVERROOT=" + dir.string(),
                                        std::string("PCLSPOOL_PPD=") + PCLSPOOL_PPD}});
  };
  EXPECT_EQ(driver({"list"}).out,
            "\"pclspool:copier.ppd\" en \"pclspool\" \"pclspool PCL copier, watermarks and "
            "booklets\" \"\" \"(pclspool PCL copier)\"\n");
  std::ofstream(dir / "queue.ppd") << driver({"cat", "pclspool:copier.ppd"}).out;
  // libcups reads the labels back as the dialog shows them, keywords 1 to 3.
  ppd_file_t* file = ppdOpenFile((dir / "queue.ppd").c_str());
  ASSERT_NE(file, nullptr);
  ppd_option_t* option = ppdFindOption(file, "Watermark");
  ASSERT_NE(option, nullptr);
  ASSERT_EQ(option->num_choices, 4);
  const char* want[][2] = {{"None", "None"}, {"1", "CONFIDENTIAL"}, {"2", "Entwürfe"},
                           {"3", "TOP: SECRET"}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_STREQ(option->choices[i].choice, want[i][0]);
    EXPECT_STREQ(option->choices[i].text, want[i][1]);
  }
  ppdClose(file);
  // cupstestppd passes it (it wants 7-bit default labels: with a text
  // beyond ASCII it fails the PPD, though CUPS uses it as libcups reads it).
  std::ofstream(dir / "pclspool" / "OrvWater.INI") << "[StringSummary]\nTOP: SECRET=1\n";
  std::ofstream(dir / "queue.ppd") << driver({"cat", "pclspool:copier.ppd"}).out;
  EXPECT_EQ(testing::RunProgram({.argv = {"cupstestppd", "-q", "-I", "filters",
                                          (dir / "queue.ppd").string()}}).status, 0);
  // Without a settings file, no text can be chosen.
  fs::remove(dir / "pclspool" / "OrvWater.INI");
  EXPECT_EQ(driver({"cat", "pclspool:copier.ppd"}).out.find("*Watermark 1/"), std::string::npos);
  const testing::ProgramRun other = driver({"cat", "other.ppd"});
  EXPECT_NE(other.out + other.err, "");
}

}  // namespace
}  // namespace pclspool::filter

#pragma GCC diagnostic pop
