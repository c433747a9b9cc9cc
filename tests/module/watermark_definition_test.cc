#include "watermark/watermark_definition.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/fakes/fake_platform.h"

namespace pclspool {
namespace {

using testing::FakePlatform;

std::u16string Selected(uint16_t waterIdx) {
  const char16_t* text = SelectWatermarkText(waterIdx);
  return text ? std::u16string(text) : u"<none>";
}

TEST(SelectWatermarkText, PicksTheKeyByPosition) {
  struct Case {
    const char* name;
    std::vector<std::u16string> keys;  // of [StringSummary], in file order
    uint16_t waterIdx;
    std::u16string expected;
  } cases[] = {
      {"first key", {u"SAMPLE", u"COPY"}, 1, u"SAMPLE"},
      {"second key", {u"SAMPLE", u"COPY"}, 2, u"COPY"},
      {"past the last key", {u"SAMPLE", u"COPY"}, 3, u"<none>"},
      {"far past the last key", {u"SAMPLE", u"COPY"}, 65535, u"<none>"},
      {"0 is no watermark", {u"SAMPLE", u"COPY"}, 0, u"<none>"},
      {"no section", {}, 1, u"<none>"},
      {"a text with blanks", {u"TOP SECRET", u"DRAFT"}, 1, u"TOP SECRET"},
  };
  for (const Case& c : cases) {
    FakePlatform fp;
    for (const auto& k : c.keys) fp.profile.Set(u"StringSummary", k, u"1");
    fp.profile.Set(u"OTHER", u"ZZZ", u"1");
    EXPECT_EQ(Selected(c.waterIdx), c.expected) << c.name;
  }
}

TEST(SelectWatermarkText, KeyListIsCutAt4096Characters) {
  FakePlatform fp;
  // 700 names of 5 characters: 4200 characters with their NULs. The first
  // 682 fit whole, the 683rd is cut to "K0", the rest are out of reach.
  for (int i = 0; i < 700; ++i) {
    std::u16string name = u"K0000";
    for (int d = 4, v = i; d > 0; --d, v /= 10) name[d] = static_cast<char16_t>(u'0' + v % 10);
    fp.profile.Set(u"StringSummary", name, u"");
  }
  EXPECT_EQ(Selected(682), u"K0681");
  EXPECT_EQ(Selected(683), u"K0");
  EXPECT_EQ(Selected(684), u"<none>");
  EXPECT_EQ(Selected(700), u"<none>");
  EXPECT_EQ(Selected(1), u"K0000");
}

LOGFONTW ArialDefaults() {
  LOGFONTW f{};
  f.lfHeight = -67;
  f.lfWeight = 400;
  f.lfOutPrecision = 3;
  f.lfClipPrecision = 2;
  f.lfQuality = 1;
  f.lfPitchAndFamily = 0x22;
  std::u16string(u"Arial").copy(f.lfFaceName, 5);
  return f;
}

// The font the definition is read into, as a set-up's state holds it.
LOGFONTW WatermarkFont;
WatermarkDefinition Read(const char16_t* text) { return ReadWatermarkDefinition(text, &WatermarkFont); }

// LOGFONTW has no padding, and both sides have zeros after the face name.
bool SameFont(const LOGFONTW& a, const LOGFONTW& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

TEST(ReadWatermarkDefinition, WithoutAFaceTheArialDefaultsApply) {
  struct Case {
    const char* name;
    std::vector<std::pair<std::u16string, std::u16string>> keys;  // of [SAMPLE]
  } cases[] = {
      {"no section", {}},
      {"empty FaceName beside other keys",
       {{u"FaceName", u""},
        {u"Height", u"-90"},
        {u"Dark", u"40"},
        {u"CenterToPage", u"0"},
        {u"XOffset", u"12"},
        {u"Weight", u"700"}}},
      {"keys without FaceName", {{u"Height", u"-90"}, {u"Italic", u"1"}}},
  };
  for (const Case& c : cases) {
    FakePlatform fp;
    for (const auto& [k, v] : c.keys) fp.profile.Set(u"SAMPLE", k, v);
    WatermarkFont = LOGFONTW{};
    WatermarkFont.lfItalic = 9;  // left from an earlier set-up
    const WatermarkDefinition d = Read(u"SAMPLE");
    EXPECT_TRUE(SameFont(WatermarkFont, ArialDefaults())) << c.name;
    EXPECT_EQ(d.dark, 0) << c.name;
    EXPECT_EQ(d.xOffset, 0) << c.name;
    EXPECT_EQ(d.yOffset, 0) << c.name;
    EXPECT_EQ(d.centerToPage, 1) << c.name;
    EXPECT_TRUE(fp.profile.int_keys_read.empty()) << c.name << ": no other key is read";
  }
}

TEST(ReadWatermarkDefinition, WithAFaceKeysDefaultToTheSystemFont) {
  FakePlatform fp;
  fp.profile.Set(u"SAMPLE", u"FaceName", u"Times New Roman");
  const WatermarkDefinition d = Read(u"SAMPLE");

  LOGFONTW expected{};
  fp.no_text.GetSystemFont(&expected);  // width 7, weight 700, pitch 0x22
  expected.lfHeight = -50;              // not the system font's 16
  std::memset(expected.lfFaceName, 0, sizeof expected.lfFaceName);
  std::u16string(u"Times New Roman").copy(expected.lfFaceName, 15);
  EXPECT_TRUE(SameFont(WatermarkFont, expected));
  EXPECT_EQ(WatermarkFont.lfWidth, 7);
  EXPECT_EQ(d.dark, 0);
  EXPECT_EQ(d.centerToPage, 1);
  const std::vector<std::u16string> order = {
      u"Height",         u"Width",     u"Escapement", u"Orientation",  u"Weight",        u"Italic",
      u"Underline",      u"Strikeout", u"CharSet",    u"OutPrecision", u"ClipPrecision", u"Quality",
      u"PitchAndFamily", u"Dark",      u"XOffset",    u"YOffset",      u"CenterToPage"};
  EXPECT_EQ(fp.profile.int_keys_read, order);
}

TEST(ReadWatermarkDefinition, KeysWithAFace) {
  struct Case {
    const char* name;
    std::u16string key, value;
    int64_t (*read)(const WatermarkDefinition&);
    int64_t expected;
  } cases[] = {
      {"Height", u"Height", u"-80", [](auto&) -> int64_t { return WatermarkFont.lfHeight; }, -80},
      {"Italic keeps the low 8 bits", u"Italic", u"257",
       [](auto&) -> int64_t { return WatermarkFont.lfItalic; }, 1},
      {"CharSet keeps the low 8 bits", u"CharSet", u"0x1FF",
       [](auto&) -> int64_t { return WatermarkFont.lfCharSet; }, 0xFF},
      {"Escapement in tenths of a degree", u"Escapement", u"450",
       [](auto&) -> int64_t { return WatermarkFont.lfEscapement; }, 450},
      {"Weight", u"Weight", u"300", [](auto&) -> int64_t { return WatermarkFont.lfWeight; }, 300},
      {"PitchAndFamily", u"PitchAndFamily", u"49",
       [](auto&) -> int64_t { return WatermarkFont.lfPitchAndFamily; }, 49},
      {"Dark", u"Dark", u"35", [](auto& d) -> int64_t { return d.dark; }, 35},
      {"XOffset negative", u"XOffset", u"-15", [](auto& d) -> int64_t { return d.xOffset; }, -15},
      {"YOffset", u"YOffset", u"20", [](auto& d) -> int64_t { return d.yOffset; }, 20},
      {"CenterToPage 0", u"CenterToPage", u"0", [](auto& d) -> int64_t { return d.centerToPage; },
       0},
      {"no CenterToPage keeps the text centred", u"XOffset", u"40",
       [](auto& d) -> int64_t { return d.centerToPage; }, 1},
  };
  for (const Case& c : cases) {
    FakePlatform fp;
    fp.profile.Set(u"SAMPLE", u"FaceName", u"Arial");
    fp.profile.Set(u"SAMPLE", c.key, c.value);
    const WatermarkDefinition d = Read(u"SAMPLE");
    EXPECT_EQ(c.read(d), c.expected) << c.name;
  }
}

TEST(ReadWatermarkDefinition, LongFaceNameIsCutTo31Characters) {
  FakePlatform fp;
  const std::u16string face = u"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghij";  // 36
  fp.profile.Set(u"SAMPLE", u"FaceName", face);
  Read(u"SAMPLE");
  EXPECT_EQ(std::u16string(WatermarkFont.lfFaceName), face.substr(0, 31));
}

}  // namespace
}  // namespace pclspool
