// The settings file edited one watermark text at a time, as the web page
// edits it: the module reads what was written, and everything else in the
// file stays as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support/scratch_dir.h"
#include "support/test_files.h"
#include "runner/job_runner.h"
#include "runner/watermark_styles.h"

namespace pclspool::runner {
namespace {

using testing::ReadFile;

// Every field of each text's style, a line each.
std::string Fields(const std::vector<WatermarkStyle>& styles) {
  std::ostringstream out;
  for (const WatermarkStyle& s : styles) {
    out << s.text << "," << s.face << "," << s.height << "," << s.angle << "," << s.weight << ","
        << s.dark << "," << s.centred << "," << s.x_offset << "," << s.y_offset << "\n";
  }
  return out.str();
}

TEST(SettingsFileEditing, SavesRenamesAndDeletesTextsKeepingTheRest) {
  const testing::ScratchDir dir{"app"};
  const std::filesystem::path ini = dir / "OrvWater.INI";
  std::filesystem::copy_file(std::filesystem::path(PCLSPOOL_EXAMPLES) / "OrvWater.INI", ini);
  const std::string before = ReadFile(ini);
  const std::vector<WatermarkStyle> read = ReadWatermarkStyles(ini.string());
  EXPECT_EQ(Fields(read), "CONFIDENTIAL,Arial,-96,450,700,2,1,0,0\nDRAFT,Arial,-80,450,400,0,0,0,-20\n");

  std::string error;
  WatermarkStyle secret{"Top Secret – intern", "DejaVu Sans", -120, 300, 400, 10, false, 5, -7};
  ASSERT_TRUE(SaveWatermarkStyle(ini.string(), "", secret, &error)) << error;
  WatermarkStyle draft = read.at(1);
  draft.text = "Entwurf";
  draft.angle = 900;
  ASSERT_TRUE(SaveWatermarkStyle(ini.string(), "DRAFT", draft, &error)) << error;
  EXPECT_EQ(WatermarkTexts(ini.string()),
            (std::vector<std::string>{"CONFIDENTIAL", "Entwurf", "Top Secret – intern"}));
  EXPECT_EQ(Fields(ReadWatermarkStyles(ini.string())),
            "CONFIDENTIAL,Arial,-96,450,700,2,1,0,0\nEntwurf,Arial,-80,900,400,0,0,0,-20\n"
            "Top Secret – intern,DejaVu Sans,-120,300,400,10,0,5,-7\n");

  // Every line of the file before, but the renamed text's, is still there.
  std::istringstream lines(before);
  const std::string now = ReadFile(ini);
  for (std::string line; std::getline(lines, line);) {
    if (line.find("DRAFT") != std::string::npos) continue;
    EXPECT_NE(now.find(line), std::string::npos) << "lost: " << line;
  }

  ASSERT_TRUE(DeleteWatermarkStyle(ini.string(), "confidential", &error)) << error;
  EXPECT_EQ(WatermarkTexts(ini.string()), (std::vector<std::string>{"Entwurf", "Top Secret – intern"}));
  EXPECT_EQ(ReadFile(ini).find("[CONFIDENTIAL]"), std::string::npos);
  EXPECT_NE(ReadFile(ini).find("[SETTING]"), std::string::npos);
}

TEST(SettingsFileEditing, RefusesWhatTheFileCannotHold) {
  const testing::ScratchDir dir{"app"};
  const std::string ini = (dir / "OrvWater.INI").string();
  std::string error;
  ASSERT_TRUE(SaveWatermarkStyle(ini, "", WatermarkStyle{"DRAFT"}, &error)) << error;  // a new file
  const std::string kept = ReadFile(ini);
  struct Case {
    const char* name;
    WatermarkStyle style;
    const char* replaces;
    const char* error;
  };
  const auto with = [](auto change) {
    WatermarkStyle s{"NEW"};
    change(s);
    return s;
  };
  const Case cases[] = {
      {"a text already there", WatermarkStyle{"draft"}, "", "already"},
      {"an equals sign", WatermarkStyle{"A=B"}, "", "=, [ or ]"},
      {"a section bracket", WatermarkStyle{"[X"}, "", "=, [ or ]"},
      {"empty", WatermarkStyle{""}, "", "empty"},
      {"a blank at the end", WatermarkStyle{"X "}, "", "blanks"},
      {"a comment", WatermarkStyle{";X"}, "", "begins with ;"},
      {"a section's name", WatermarkStyle{"Setting"}, "", "names a section"},
      {"a line break", WatermarkStyle{"A\nB"}, "", "control"},
      {"a face in quotes", with([](WatermarkStyle& s) { s.face = "'Arial'"; }), "", "quotes"},
      {"a long face", with([](WatermarkStyle& s) { s.face = std::string(32, 'F'); }), "", "face"},
      {"height 0", with([](WatermarkStyle& s) { s.height = 0; }), "", "height"},
      {"a full turn", with([](WatermarkStyle& s) { s.angle = 3600; }), "", "angle"},
      {"too dark", with([](WatermarkStyle& s) { s.dark = 38; }), "", "darkness"},
      {"too far", with([](WatermarkStyle& s) { s.x_offset = 201; }), "", "offset"},
      {"changes a text not there", WatermarkStyle{"NEW"}, "GONE", "no text"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_FALSE(SaveWatermarkStyle(ini, c.replaces, c.style, &error));
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
    EXPECT_EQ(ReadFile(ini), kept);
  }
  EXPECT_FALSE(DeleteWatermarkStyle(ini, "GONE", &error));
  EXPECT_EQ(ReadFile(ini), kept);
}

}  // namespace
}  // namespace pclspool::runner
