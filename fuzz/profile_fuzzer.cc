// The private-profile reader on arbitrary INI bytes: the parse, the Win32
// results cut to buffers of every small size (values, key-name lists,
// section-name lists), integers, overrides on top of the file, and the
// readers of the module that sit on it: the POSIX profile service reading
// the same bytes from a file, the settings override, the watermark text
// selection from the key-name list and the watermark definition.
//
// Input: the INI file's bytes, whole.
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "job/job_context.h"
#include "job/settings.h"
#include "platform/platform.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/posix_profile.h"
#include "platform/posix/profile_reader.h"
#include "support/scratch_dir.h"
#include "watermark/watermark_definition.h"

namespace {

using namespace pclspool;
using namespace pclspool::posix;

// Buffers up to a few characters are tried one by one, then the sizes
// around the text's own length; the cuts happen there.
std::vector<DWORD> BufferSizes(std::size_t length, DWORD small) {
  std::vector<DWORD> sizes;
  for (DWORD n = 0; n <= small; ++n) sizes.push_back(n);
  for (std::size_t n = length > 2 ? length - 2 : 0; n <= length + 2; ++n)
    sizes.push_back(static_cast<DWORD>(n));
  return sizes;
}
// Only so many sections, and keys in each, are read back one by one; the
// reads are linear in the file, and a file of thousands of sections would
// make a slow run without finding anything new.
constexpr std::size_t kMaxChecked = 16;

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f' || c == 0x1A;
}

// A name as the parser keeps it: not empty, trimmed, one line, no NUL.
void CheckName(std::u16string_view s, bool may_be_empty) {
  FUZZ_CHECK(may_be_empty || !s.empty());
  FUZZ_CHECK(s.empty() || (!IsBlank(s.front()) && !IsBlank(s.back())));
  FUZZ_CHECK(s.find(u'\n') == std::u16string_view::npos);
  FUZZ_CHECK(s.find(u'\0') == std::u16string_view::npos);
}

// The same name in other letters' case and with blanks around it.
std::u16string Disguised(std::u16string_view s) {
  std::u16string out = u" \t";
  for (char16_t c : s) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - 0x20);
    else if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 0x20);
    out += c;
  }
  return out + u"\r ";
}

// The flattened name list as Win32 hands it over: each name and a NUL,
// then one more NUL ("" and a NUL for the empty list).
std::u16string Flattened(const std::vector<std::u16string_view>& names) {
  std::u16string out;
  for (std::u16string_view n : names) {
    out += n;
    out += u'\0';
  }
  out += u'\0';
  if (names.empty()) out += u'\0';
  return out;
}

// A name list read into buffers of every small size and one large one:
// whole when it fits, else its first size - 2 characters and two NULs.
template <typename Read>
void CheckNameList(const std::vector<std::u16string_view>& names, Read read) {
  const std::u16string full = Flattened(names);
  const std::size_t total = names.empty() ? 1 : full.size();  // what must fit
  for (const DWORD n : BufferSizes(full.size(), 12)) {
    std::vector<WCHAR> buf(n + 1, 0x7777);
    const DWORD got = read(buf.data(), n);
    FUZZ_CHECK(buf[n] == 0x7777);  // nothing past the buffer
    if (n == 0) {
      FUZZ_CHECK(got == 0);
    } else if (n == 1) {
      FUZZ_CHECK(got == 0 && buf[0] == 0);
    } else if (n >= total) {
      FUZZ_CHECK(got == full.size() - (names.empty() ? 2 : 1));
      FUZZ_CHECK(std::equal(full.begin(), full.begin() + std::min<std::size_t>(full.size(), n),
                            buf.begin()));
    } else {
      FUZZ_CHECK(got == n - 2);
      FUZZ_CHECK(std::equal(full.begin(), full.begin() + (n - 2), buf.begin()));
      FUZZ_CHECK(buf[n - 2] == 0 && buf[n - 1] == 0);
    }
  }
}

// A value read into buffers of every small size: cut to size - 1 and a NUL.
template <typename Read>
void CheckValue(std::u16string_view value, Read read) {
  for (const DWORD n : BufferSizes(value.size() + 1, 3)) {
    std::vector<WCHAR> buf(n + 1, 0x7777);
    const DWORD got = read(buf.data(), n);
    FUZZ_CHECK(buf[n] == 0x7777);
    if (n == 0) {
      FUZZ_CHECK(got == 0);
      continue;
    }
    FUZZ_CHECK(got == std::min<std::size_t>(value.size(), n - 1));
    FUZZ_CHECK(std::u16string_view(buf.data(), got) == value.substr(0, got));
    FUZZ_CHECK(buf[got] == 0);
  }
}

// The profile service over a parsed file, as the POSIX one reads it but
// without reading the file at every call: the module's readers make dozens
// of calls.
class ParsedProfile final : public platform::Profile {
 public:
  const ProfileDocument* doc = nullptr;
  UINT GetPrivateProfileIntW(const WCHAR* section, const WCHAR* key, int def,
                             const WCHAR*) override {
    return ReadProfileInt(*doc, {}, section, key, def);
  }
  DWORD GetPrivateProfileStringW(const WCHAR* section, const WCHAR* key, const WCHAR* def,
                                 WCHAR* buf, DWORD size, const WCHAR*) override {
    return ReadProfileString(*doc, {}, section, key, def, buf, size);
  }
};

// The scratch INI file the POSIX profile service reads, and a platform that
// serves the parsed file.
struct Scratch {
  Scratch() {
    // Removed when the process ends normally; a crash leaves it for a look.
    static const testing::ScratchDir scratch("profile-fuzz");
    dir = scratch.string();
    ini = dir + "/OrvWater.INI";
    profile.SetFilePath(dir);
    services = Posix().services;
    services.profile = &parsed;
  }
  std::string dir, ini;
  PosixProfile profile;
  ParsedProfile parsed;
  platform::Platform services{};
};

void CheckDocument(const ProfileDocument& doc) {
  for (std::size_t i = 0; i < doc.sections.size(); ++i) {
    const ProfileSection& s = doc.sections[i];
    CheckName(s.name, false);
    for (std::size_t j = 0; j < i; ++j) FUZZ_CHECK(!ProfileNamesEqual(doc.sections[j].name, s.name));
    FUZZ_CHECK(FindProfileSection(doc, Disguised(s.name)) == &s);
    for (std::size_t k = 0; k < s.keys.size(); ++k) {
      const ProfileKey& key = s.keys[k];
      CheckName(key.name, false);
      CheckName(key.value, true);
      for (std::size_t j = 0; j < k; ++j) FUZZ_CHECK(!ProfileNamesEqual(s.keys[j].name, key.name));
      FUZZ_CHECK(FindProfileKey(s, Disguised(key.name)) == &key);
    }
  }
}

void CheckReads(const ProfileDocument& doc, const std::vector<ProfileOverride>& overrides) {
  const std::vector<std::u16string_view> sections = ProfileSectionNames(doc, overrides);
  CheckNameList(sections, [&](WCHAR* buf, DWORD n) {
    return ReadProfileString(doc, overrides, nullptr, nullptr, nullptr, buf, n);
  });
  for (std::size_t i = 0; i < sections.size() && i < kMaxChecked; ++i) {
    const std::u16string sname(sections[i]);
    const std::vector<std::u16string_view> keys = ProfileKeyNames(doc, overrides, sname);
    for (std::size_t k = 0; k < keys.size(); ++k)
      for (std::size_t j = 0; j < k; ++j) FUZZ_CHECK(!ProfileNamesEqual(keys[j], keys[k]));
    CheckNameList(keys, [&](WCHAR* buf, DWORD n) {
      return ReadProfileString(doc, overrides, sname.c_str(), nullptr, u"", buf, n);
    });
    for (std::size_t k = 0; k < keys.size() && k < kMaxChecked; ++k) {
      const std::u16string kname(keys[k]);
      const auto raw = LookupProfileValue(doc, overrides, sname, kname);
      FUZZ_CHECK(raw.has_value());
      const std::u16string value(StripProfileQuotes(*raw));
      CheckValue(value, [&](WCHAR* buf, DWORD n) {
        return ReadProfileString(doc, overrides, sname.c_str(), kname.c_str(), u"def", buf, n);
      });
      const UINT expected = value.empty() ? 77u : ParseProfileInt(value);
      FUZZ_CHECK(ReadProfileInt(doc, overrides, sname.c_str(), kname.c_str(), 77) == expected);
      const std::u16string disguised = Disguised(kname);
      FUZZ_CHECK(ReadProfileInt(doc, overrides, sname.c_str(), disguised.c_str(), 77) == expected);
    }
  }
}

// The first n names of [StringSummary] and what the watermark selection
// makes of them.
void CheckWatermarkTexts(const ProfileDocument& doc) {
  const std::vector<std::u16string_view> texts = ProfileKeyNames(doc, {}, u"StringSummary");
  std::size_t listed = 0;  // characters of the list that fit the module's buffer
  // Every selection reads the file again: the first few texts, and the one
  // past the end when the list is short.
  for (uint16_t idx = 1; idx <= texts.size() + 1 && idx <= 6; ++idx) {
    const char16_t* text = SelectWatermarkText(idx);
    const bool exists = idx <= texts.size();
    // A name that fits the key-list buffer whole, with the list's final
    // NUL, is found exactly; one that does not may be cut or missing.
    const bool fits = exists && listed + texts[idx - 1].size() + 2 <= kKeyListChars;
    if (exists) listed += texts[idx - 1].size() + 1;
    if (fits) {
      FUZZ_CHECK(text != nullptr && std::u16string_view(text) == texts[idx - 1]);
    } else if (!exists) {
      FUZZ_CHECK(text == nullptr);
    }
  }
  // The first text's font and placement: byte fields, a face name cut to
  // its buffer.
  LOGFONTW font{};
  ReadWatermarkDefinition(SelectWatermarkText(1), &font);
  FUZZ_CHECK(font.lfFaceName[LF_FACESIZE - 1] == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static Scratch* scratch = new Scratch();  // lives as long as the process
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const ProfileDocument doc = ParseProfile(bytes);
  CheckDocument(doc);
  CheckReads(doc, {});

  // Overrides on top: one on a key the file has, one on a key it lacks in a
  // section it has, one in a section it lacks, and the same again in other
  // letters' case, which must replace rather than add.
  std::vector<ProfileOverride> overrides;
  const std::u16string some_section = doc.sections.empty() ? u"SETTING" : doc.sections[0].name;
  if (!doc.sections.empty() && !doc.sections[0].keys.empty())
    SetProfileOverride(overrides, some_section, doc.sections[0].keys[0].name, u"'0x7fff'");
  SetProfileOverride(overrides, some_section, u"COPIES", u"3");
  SetProfileOverride(overrides, u"StringSummary", u"Fuzz Text", u"");
  SetProfileOverride(overrides, Disguised(u"StringSummary"), Disguised(u"Fuzz Text"), u"x");
  FUZZ_CHECK(overrides.size() <= 3);
  const auto value = LookupProfileValue(doc, overrides, u"stringsummary", u"FUZZ TEXT");
  FUZZ_CHECK(value && *value == u"x");
  CheckReads(doc, overrides);

  // The same bytes through the POSIX profile service and a file (a name
  // that differs in case finds it too).
  {
    std::ofstream out(scratch->ini, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    FUZZ_CHECK(out.good());
  }
  PosixProfile& profile = scratch->profile;
  WCHAR list[256];
  WCHAR expected[256];
  std::fill(std::begin(list), std::end(list), 0x7777);
  std::fill(std::begin(expected), std::end(expected), 0x7777);
  FUZZ_CHECK(profile.GetPrivateProfileStringW(nullptr, nullptr, u"", list, 256, u"OrvWater.INI") ==
             ReadProfileString(doc, {}, nullptr, nullptr, u"", expected, 256));
  FUZZ_CHECK(std::memcmp(list, expected, sizeof(list)) == 0);

  FUZZ_CHECK(profile.GetPrivateProfileIntW(u"SETTING", u"COPIES", -3, u"ORVWATER.ini") ==
             ReadProfileInt(doc, {}, u"SETTING", u"COPIES", -3));

  scratch->parsed.doc = &doc;
  platform::Install(&scratch->services);
  JobContext ctx{};
  ctx.dm.dmOrientation = 1;
  OverrideSettings(ctx);
  TraceSettings(ctx);
  const auto read_int = [&](const char16_t* key, int def) {
    return ReadProfileInt(doc, {}, u"SETTING", key, def);
  };
  FUZZ_CHECK(ctx.dm.dmYResolution == static_cast<int16_t>(read_int(u"YRESOLUTION", 600)));
  FUZZ_CHECK(ctx.dm.dmCopies <= 99);
  FUZZ_CHECK(WaterIdx(ctx) == 0);  // not a [SETTING] key
  FUZZ_CHECK(extra::U32(ctx.extra, extra::kFinisherUnit) == read_int(u"FINISHER UNIT", 0));
  CheckWatermarkTexts(doc);
  platform::Install(nullptr);
  return 0;
}
