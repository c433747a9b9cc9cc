#include "platform/posix/profile_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/posix/posix_profile.h"
#include "platform/posix/utf.h"
#include "support/scratch_dir.h"
#include "support/test_files.h"

namespace pclspool::posix {
namespace {

using namespace std::string_literals;

constexpr char16_t kDef[] = u"<def>";

std::string Utf16Bytes(std::u16string_view text, bool big_endian) {
  std::string out = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (const char16_t c : text) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += big_endian ? hi : lo;
    out += big_endian ? lo : hi;
  }
  return out;
}

std::u16string ReadValue(const ProfileDocument& doc, const char16_t* section, const char16_t* key,
                         const std::vector<ProfileOverride>& overrides = {},
                         const char16_t* def = kDef) {
  char16_t buf[256];
  const DWORD n = ReadProfileString(doc, overrides, section, key, def, buf, 256);
  EXPECT_EQ(n, std::u16string(buf).size());
  return buf;
}

// The written part of a name list: up to and including its closing NUL pair.
std::u16string ListOf(const ProfileDocument& doc, const char16_t* section,
                      const std::vector<ProfileOverride>& overrides = {}, DWORD* ret = nullptr) {
  std::vector<char16_t> buf(512, u'#');
  const DWORD n = ReadProfileString(doc, overrides, section, nullptr, u"", buf.data(), 512);
  if (ret) *ret = n;
  const std::u16string all(buf.data(), buf.size());
  return all.substr(0, all.find(u"\0\0"s) + 2);
}

TEST(ProfileReader, Parsing) {
  struct Case {
    const char* name;
    std::string bytes;
    const char16_t* section;
    const char16_t* key;
    std::u16string expected;  // kDef when the key reads as missing
  } cases[] = {
      {"section name ignores case", "[Setting]\nCopies=3\n", u"SETTING", u"Copies", u"3"},
      {"key name ignores case", "[S]\nPaper Code=5\n", u"S", u"PAPER CODE", u"5"},
      {"Latin-1 letters ignore case", "[\xC3\x84RA]\nK=1\n", u"\u00E4ra", u"K", u"1"},
      {"blanks around names and values", "[ S \t]\n \t PAPER CODE \t=  5 \t \n", u"S",
       u"PAPER CODE", u"5"},
      {"blanks around the names asked for", "[S]\nA=1\n", u" S ", u"\tA ", u"1"},
      {"blanks inside a value kept", "[S]\nA= x  y \n", u"S", u"A", u"x  y"},
      {"comment line", "[S]\n;A=1\nA=2\n", u"S", u"A", u"2"},
      {"indented comment", "[S]\n  ;A=1\n", u"S", u"A", kDef},
      {"semicolon inside a value kept", "[S]\nA=1 ; note\n", u"S", u"A", u"1 ; note"},
      {"first duplicate key wins", "[S]\nA=1\na=2\n", u"S", u"A", u"1"},
      {"repeated section: first one only", "[S]\nA=1\n[T]\n[s]\nA=2\nB=3\n", u"S", u"A", u"1"},
      {"repeated section: its keys dropped", "[S]\nA=1\n[T]\n[s]\nB=3\n", u"S", u"B", kDef},
      {"double quotes stripped", "[S]\nA=\"x y\"\n", u"S", u"A", u"x y"},
      {"single quotes stripped", "[S]\nA='x'\n", u"S", u"A", u"x"},
      {"quotes around blanks kept inside", "[S]\nA=\" x \"\n", u"S", u"A", u" x "},
      {"mismatched quotes kept", "[S]\nA=\"x'\n", u"S", u"A", u"\"x'"},
      {"lone quote kept", "[S]\nA=\"\n", u"S", u"A", u"\""},
      {"empty quotes give an empty value", "[S]\nA=\"\"\n", u"S", u"A", u""},
      {"inner quotes kept", "[S]\nA=a\"b\"\n", u"S", u"A", u"a\"b\""},
      {"CRLF line ends", "[S]\r\nA=1\r\nB=2\r\n", u"S", u"B", u"2"},
      {"no final line end", "[S]\nA=1", u"S", u"A", u"1"},
      {"UTF-8 with BOM", "\xEF\xBB\xBF[S]\nA=1\n", u"S", u"A", u"1"},
      {"UTF-8 value", "[S]\nA=f\xC3\xBCr \xE2\x82\xAC\n", u"S", u"A", u"f\u00FCr \u20AC"},
      {"not UTF-8: Windows-1252", "[S]\nA=f\xFCr \x80\n", u"S", u"A", u"f\u00FCr \u20AC"},
      {"UTF-16LE with BOM", Utf16Bytes(u"[S]\r\nA=\u00FC\u4E2D\r\n", false), u"S", u"A",
       u"\u00FC\u4E2D"},
      {"UTF-16BE with BOM", Utf16Bytes(u"[S]\nA=\u4E2D\n", true), u"S", u"A", u"\u4E2D"},
      {"UTF-16 odd last byte dropped", Utf16Bytes(u"[S]\nA=1", false) + "\x00"s, u"S", u"A",
       u"1"},
      {"empty value is a value", "[S]\nA=\n", u"S", u"A", u""},
      {"line without '=' is not a key", "[S]\nA\n", u"S", u"A", kDef},
      {"key before any section ignored", "A=1\n[S]\n", u"S", u"A", kDef},
      {"'=' inside a value", "[S]\nA=b=c\n", u"S", u"A", u"b=c"},
      {"text after ']' ignored", "[S] tail\nA=1\n", u"S", u"A", u"1"},
      {"'[' without ']' is a key line", "[S]\n[A=1\n", u"S", u"[A", u"1"},
      {"NUL ends its line", "[S]\nA=1\0 2\nB=3\n"s, u"S", u"A", u"1"},
      {"missing section", "[S]\nA=1\n", u"T", u"A", kDef},
      {"missing key", "[S]\nA=1\n", u"S", u"B", kDef},
      {"empty file", "", u"S", u"A", kDef},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadValue(ParseProfile(c.bytes), c.section, c.key), c.expected) << c.name;
  }
}

TEST(ProfileReader, ValueAndDefaultCutToBuffer) {
  const ProfileDocument doc = ParseProfile("[S]\nA=\"abcdef\"\n");
  struct Case {
    const char* name;
    const char16_t* key;
    const char16_t* def;
    DWORD size;
    std::u16string expected;  // the whole buffer; '#' where nothing is written
  } cases[] = {
      {"value fits", u"A", u"", 8, u"abcdef\0#"s},
      {"value cut to size - 1, quotes stripped first", u"A", u"", 4, u"abc\0"s},
      {"size 1 gets the NUL only", u"A", u"", 1, u"\0"s},
      {"size 0 writes nothing", u"A", u"", 0, u""s},
      {"default loses trailing spaces", u"B", u" d  ", 8, u" d\0#####"s},
      {"default loses its quotes", u"B", u"'q'", 4, u"q\0##"s},
      {"null default is empty", u"B", nullptr, 3, u"\0##"s},
  };
  for (const auto& c : cases) {
    std::u16string buf(c.size, u'#');
    const DWORD n = ReadProfileString(doc, {}, u"S", c.key, c.def, buf.data(), c.size);
    EXPECT_EQ(buf, c.expected) << c.name;
    EXPECT_EQ(n, c.size ? std::u16string(buf.c_str()).size() : 0u) << c.name;
  }
}

TEST(ProfileReader, IntegerText) {
  struct Case {
    const char* name;
    std::u16string_view text;
    uint32_t expected;
  } cases[] = {
      {"decimal", u"123", 123},
      {"minus", u"-1", 0xFFFFFFFFu},
      {"plus", u"+7", 7},
      {"leading blanks and controls", u" \t\r 42", 42},
      {"blank after the sign stops", u"- 5", 0},
      {"hex", u"0x1f", 31},
      {"hex, capital X", u"0XFF", 255},
      {"negative hex", u"-0x10", 0xFFFFFFF0u},
      {"octal 0o", u"0o17", 15},
      {"binary 0b", u"0b101", 5},
      {"binary stops at a non-binary digit", u"0b1012", 5},
      {"leading zero stays decimal", u"010", 10},
      {"digits up to garbage", u"42A94967297", 42},
      {"decimal point stops", u"3.9", 3},
      {"garbage first", u"B42", 0},
      {"x without 0", u"x12", 0},
      {"prefix without digits", u"0x", 0},
      {"prefix then garbage", u"0xG", 0},
      {"empty", u"", 0},
      {"2^31 wraps to the sign bit", u"2147483648", 0x80000000u},
      {"2^32 wraps to 0", u"4294967296", 0},
      {"2^32 + 1 wraps to 1", u"4294967297", 1},
      {"-(2^32 + 1) wraps to -1", u"-4294967297", 0xFFFFFFFFu},
      {"big decimal wraps", u"9999999999", 1410065407u},
      {"long hex keeps the low 32 bits", u"0x123456789", 0x23456789u},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseProfileInt(c.text), c.expected) << c.name;
}

TEST(ProfileReader, IntegerKeys) {
  const ProfileDocument doc = ParseProfile(
      "[SETTING]\nCOPIES = 3 \nEMPTY=\nQUOTED=\"12\"\nWORD=abc\nNEG=-2\nBLANKQ=\" 7\"\n");
  struct Case {
    const char* name;
    const char16_t* section;
    const char16_t* key;
    int def;
    UINT expected;
  } cases[] = {
      {"value", u"SETTING", u"copies", 9, 3},
      {"missing key gives the default", u"SETTING", u"DUPLEX", 9, 9},
      {"missing section gives the default", u"OTHER", u"COPIES", 9, 9},
      {"negative default", u"SETTING", u"DUPLEX", -1, 0xFFFFFFFFu},
      {"empty value gives the default", u"SETTING", u"EMPTY", 9, 9},
      {"quoted value", u"SETTING", u"QUOTED", 9, 12},
      {"blank inside quotes skipped", u"SETTING", u"BLANKQ", 9, 7},
      {"unreadable value gives 0", u"SETTING", u"WORD", 9, 0},
      {"negative value", u"SETTING", u"NEG", 9, 0xFFFFFFFEu},
      {"null key gives the default", u"SETTING", nullptr, 9, 9},
      {"null section gives the default", nullptr, u"COPIES", 9, 9},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReadProfileInt(doc, {}, c.section, c.key, c.def), c.expected) << c.name;
  }
  EXPECT_EQ(ReadProfileInt(ProfileDocument{}, {}, u"SETTING", u"COPIES", 1), 1u)
      << "missing file";
}

TEST(ProfileReader, NameListCut) {
  const std::vector<std::u16string_view> ab_cd = {u"AB", u"CD"};
  struct Case {
    const char* name;
    std::vector<std::u16string_view> names;
    DWORD size;
    std::u16string expected;  // the whole buffer; '#' where nothing is written
    DWORD ret;
  } cases[] = {
      {"fits with room", ab_cd, 9, u"AB\0CD\0\0##"s, 6},
      {"fits exactly", ab_cd, 7, u"AB\0CD\0\0"s, 6},
      {"one short: last name cut", ab_cd, 6, u"AB\0C\0\0"s, 4},
      {"cut where the last name starts", ab_cd, 5, u"AB\0\0\0"s, 3},
      {"no room for the name after a whole one", ab_cd, 4, u"AB\0\0"s, 2},
      {"first name cut", ab_cd, 3, u"A\0\0"s, 1},
      {"size 2", ab_cd, 2, u"\0\0"s, 0},
      {"size 1", ab_cd, 1, u"\0"s, 0},
      {"size 0 writes nothing", ab_cd, 0, u""s, 0},
      {"empty list", {}, 4, u"\0\0##"s, 0},
      {"empty names keep their place", {u"", u"A"}, 5, u"\0A\0\0#"s, 3},
  };
  for (const auto& c : cases) {
    std::u16string buf(c.size, u'#');
    EXPECT_EQ(CopyProfileNameList(c.names, buf.data(), c.size), c.ret) << c.name;
    EXPECT_EQ(buf, c.expected) << c.name;
  }
}

TEST(ProfileReader, KeyAndSectionLists) {
  const ProfileDocument doc =
      ParseProfile("[S]\nB=1\nA=2\nb=3\nC\n;D=4\nE=\n=5\n[T]\n[s]\nF=6\n[U]\n");
  DWORD ret = 0;
  EXPECT_EQ(ListOf(doc, u"s", {}, &ret), u"B\0A\0E\0\0"s) << "each key once, file order";
  EXPECT_EQ(ret, 6u);
  EXPECT_EQ(ListOf(doc, u"T", {}, &ret), u"\0\0"s) << "empty section";
  EXPECT_EQ(ret, 0u);
  EXPECT_EQ(ListOf(doc, u"V", {}, &ret), u"\0\0"s) << "missing section";
  EXPECT_EQ(ListOf(doc, nullptr, {}, &ret), u"S\0T\0U\0\0"s) << "section names";
  EXPECT_EQ(ret, 6u);
  EXPECT_EQ(ReadValue(doc, u"V", nullptr, {}, u"dflt"), u"dflt")
      << "missing section with a default copies the default, as Win32";
}

// The module reads [StringSummary] into a buffer of 4096 characters.
TEST(ProfileReader, KeyListInModuleBuffer) {
  constexpr DWORD kSize = 4096;
  for (const int count : {204, 205, 600}) {  // 20 characters a name with its NUL
    std::string text = "[StringSummary]\n";
    std::u16string full;
    for (int i = 0; i < count; ++i) {
      const std::string name = "WATERMARK TEXT " + std::to_string(1000 + i);
      text += name + "=1\n";
      full += Utf8ToUtf16(name) + u'\0';
    }
    full += u'\0';
    std::u16string buf(kSize + 8, u'#');
    const DWORD n =
        ReadProfileString(ParseProfile(text), {}, u"StringSummary", nullptr, u"", buf.data(), kSize);
    SCOPED_TRACE(count);
    if (full.size() <= kSize) {
      EXPECT_EQ(n, full.size() - 1);
      EXPECT_EQ(buf.substr(0, full.size()), full);
    } else {
      EXPECT_EQ(n, kSize - 2);
      EXPECT_EQ(buf.substr(0, kSize - 2), full.substr(0, kSize - 2));
      EXPECT_EQ(buf[kSize - 2], 0);
      EXPECT_EQ(buf[kSize - 1], 0);
    }
    EXPECT_EQ(buf.substr(kSize), u"########") << "nothing written past the buffer";
  }
}

TEST(ProfileReader, Overrides) {
  const ProfileDocument doc = ParseProfile("[SETTING]\nCOPIES=3\nDUPLEX=1\n");
  std::vector<ProfileOverride> ov;
  SetProfileOverride(ov, u"setting", u" copies ", u" \"5\" ");
  SetProfileOverride(ov, u"SETTING", u"STAPLE", u"2");
  SetProfileOverride(ov, u"SETTING", u"Staple", u"4");
  SetProfileOverride(ov, u"OTHER", u"X", u"y");
  SetProfileOverride(ov, u"", u"X", u"ignored");

  EXPECT_EQ(ReadValue(doc, u"SETTING", u"COPIES", ov), u"5") << "stands on top of the file";
  EXPECT_EQ(ReadValue(doc, u"SETTING", u"DUPLEX", ov), u"1") << "file value without override";
  EXPECT_EQ(ReadProfileInt(doc, ov, u"SETTING", u"STAPLE", 0), 4u) << "last setting wins";
  EXPECT_EQ(ReadValue(doc, u"OTHER", u"x", ov), u"y") << "section only in overrides";
  EXPECT_EQ(ListOf(doc, u"SETTING", ov), u"COPIES\0DUPLEX\0STAPLE\0\0"s)
      << "override-only keys listed after the file's, once";
  EXPECT_EQ(ListOf(doc, nullptr, ov), u"SETTING\0OTHER\0\0"s);
}

// Writes a file into the directory; its path.
std::string Write(const testing::ScratchDir& dir, const std::string& name,
                  const std::string& bytes) {
  testing::WriteFile(dir / name, bytes);
  return (dir / name).string();
}

UINT Copies(PosixProfile& p, const char16_t* file = u"OrvWater.INI") {
  return p.GetPrivateProfileIntW(u"SETTING", u"COPIES", 77, file);
}

TEST(PosixProfile, FileNameMapping) {
  const testing::ScratchDir dir("profile");
  const std::string file = Write(dir, "OrvWater.INI", "[SETTING]\nCOPIES=1\n");
  const std::string other = Write(dir, "other.ini", "[SETTING]\nCOPIES=2\n");
  PosixProfile p;

  p.SetFilePath(dir.string());
  EXPECT_EQ(Copies(p), 1u) << "directory";
  p.SetFilePath(dir.string() + "/");
  EXPECT_EQ(Copies(p), 1u) << "directory with a trailing '/'";
  p.SetFilePath(other);
  EXPECT_EQ(Copies(p), 2u) << "a file stands for the name asked for";
  EXPECT_EQ(Copies(p, Utf8ToUtf16(file).c_str()), 1u) << "a name with a '/' is used as it is";
  p.SetFilePath(dir.string() + "/missing.ini");
  EXPECT_EQ(Copies(p), 77u) << "missing file";

  std::filesystem::remove(file);
  Write(dir, "ORVWATER.ini", "[SETTING]\nCOPIES=3\n");
  p.SetFilePath(dir.string());
  EXPECT_EQ(Copies(p), 3u) << "name differing in case";

  const std::string cwd = std::filesystem::current_path();
  ASSERT_EQ(::chdir(dir.string().c_str()), 0);
  p.SetFilePath("");
  EXPECT_EQ(Copies(p), 3u) << "empty path: working directory";
  ASSERT_EQ(::chdir(cwd.c_str()), 0);
}

TEST(PosixProfile, ReadAtEveryCall) {
  const testing::ScratchDir dir("profile");
  PosixProfile p;
  p.SetFilePath(dir.string());
  char16_t buf[64];

  EXPECT_EQ(Copies(p), 77u) << "no file yet";
  EXPECT_EQ(p.GetPrivateProfileStringW(u"SETTING", nullptr, u"", buf, 64, u"OrvWater.INI"), 0u);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(buf[1], 0);

  Write(dir, "OrvWater.INI", "[SETTING]\nCOPIES=1\n");
  EXPECT_EQ(Copies(p), 1u);
  // Same size and, on a coarse clock, the same time: still seen.
  Write(dir, "OrvWater.INI", "[SETTING]\nCOPIES=2\n");
  EXPECT_EQ(Copies(p), 2u) << "edit seen at the next call";

  p.SetOverride(u"SETTING", u"COPIES", u"9");
  EXPECT_EQ(Copies(p), 9u);
  p.ClearOverrides();
  EXPECT_EQ(Copies(p), 2u);

  Write(dir, "OrvWater.INI", "\xFF\xFE"s);  // a UTF-16 file with nothing in it
  EXPECT_EQ(Copies(p), 77u);
}

TEST(PosixProfile, UnreadableFilesCountAsMissing) {
  const testing::ScratchDir dir("profile");
  PosixProfile p;
  p.SetFilePath(dir.string());

  std::filesystem::create_directory(dir.string() + "/OrvWater.INI");
  EXPECT_EQ(Copies(p), 77u) << "a directory";
  std::filesystem::remove(dir.string() + "/OrvWater.INI");

  std::string big = "[SETTING]\nCOPIES=1\n";
  big.resize(kMaxProfileBytes + 1, ';');
  Write(dir, "OrvWater.INI", big);
  EXPECT_EQ(Copies(p), 77u) << "larger than the limit";
  big.resize(kMaxProfileBytes);
  Write(dir, "OrvWater.INI", big);
  EXPECT_EQ(Copies(p), 1u) << "at the limit";

  EXPECT_EQ(Copies(p, nullptr), 77u) << "no file name";
}

}  // namespace
}  // namespace pclspool::posix
