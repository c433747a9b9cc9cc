// The driver program as cups-driverd runs it, and the labels it writes:
// the queue's PPD lists the settings file's own watermark texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

#include "filter/ppd_watermarks.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/ppd.h>

namespace pclspool::filter {
namespace {

namespace fs = std::filesystem;

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof(buf), p)) > 0;) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

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
  const fs::path dir = fs::temp_directory_path() / ("pclspool-driver-" + std::to_string(::getpid()));
  fs::create_directories(dir / "pclspool");
  std::ofstream(dir / "pclspool" / "OrvWater.INI")
      << "[StringSummary]\nCONFIDENTIAL=1\nEntw\xC3\xBC" "rfe=1\nTOP: SECRET=1\n";
  const std::string env =
      "CUPS_SERVERROOT='" + dir.string() + "' PCLSPOOL_PPD='" PCLSPOOL_PPD "' '" PCLSPOOL_DRIVER "'";
  EXPECT_EQ(Output(env + " list"),
            "\"pclspool:copier.ppd\" en \"pclspool\" \"pclspool PCL copier, watermarks and "
            "booklets\" \"\" \"(pclspool PCL copier)\"\n");
  const std::string ppd = Output(env + " cat pclspool:copier.ppd");
  std::ofstream(dir / "queue.ppd") << ppd;
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
  std::ofstream(dir / "queue.ppd") << Output(env + " cat pclspool:copier.ppd");
  EXPECT_EQ(Output("cupstestppd -q -I filters '" + (dir / "queue.ppd").string() + "'; echo $?"), "0\n");
  // Without a settings file, no text can be chosen.
  fs::remove(dir / "pclspool" / "OrvWater.INI");
  EXPECT_EQ(Output(env + " cat pclspool:copier.ppd").find("*Watermark 1/"), std::string::npos);
  EXPECT_NE(Output(env + " cat other.ppd 2>&1"), "");
  fs::remove_all(dir);
}

}  // namespace
}  // namespace pclspool::filter

#pragma GCC diagnostic pop
