#include "platform/posix/profile_reader.h"

#include <algorithm>
#include <unordered_set>

#include "platform/posix/utf.h"

namespace pclspool::posix {

namespace {

bool IsBlank(char16_t c) {
  // ^Z (0x1A) is the DOS end-of-file mark some old editors leave behind.
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\v' || c == u'\f' || c == 0x1A;
}

char16_t FoldCase(char16_t c) {
  if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
  // Latin-1 capitals U+00C0..U+00DE, except the multiplication sign U+00D7.
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<char16_t>(c + 0x20);
  return c;
}

std::u16string Folded(std::u16string_view s) {
  std::u16string out(s);
  for (auto& c : out) c = FoldCase(c);
  return out;
}

// Windows-1252 bytes 0x80..0x9F; the five the code page leaves undefined map
// to the C1 control of the same value, as MultiByteToWideChar does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

std::u16string DecodeCp1252(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  for (const char ch : bytes) {
    const auto b = static_cast<unsigned char>(ch);
    out += (b >= 0x80 && b <= 0x9F) ? kCp1252High[b - 0x80] : static_cast<char16_t>(b);
  }
  return out;
}

bool IsWellFormedUtf8(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    int extra = 0;
    char32_t c = 0;
    char32_t min = 0;
    if ((b & 0xE0) == 0xC0) {
      extra = 1, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3, c = b & 0x07, min = 0x10000;
    } else {
      return false;
    }
    if (s.size() - i <= static_cast<std::size_t>(extra)) return false;
    for (int k = 1; k <= extra; ++k) {
      const auto t = static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]);
      if ((t & 0xC0) != 0x80) return false;
      c = (c << 6) | (t & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

std::u16string DecodeUtf16(std::string_view bytes, bool big_endian) {
  std::u16string out;
  out.reserve(bytes.size() / 2);
  // An odd last byte cannot form a code unit and is dropped.
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    const auto b0 = static_cast<unsigned char>(bytes[i]);
    const auto b1 = static_cast<unsigned char>(bytes[i + 1]);
    out += static_cast<char16_t>(big_endian ? (b0 << 8) | b1 : (b1 << 8) | b0);
  }
  return out;
}

int DigitValue(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'z') return c - u'a' + 10;
  if (c >= u'A' && c <= u'Z') return c - u'A' + 10;
  return -1;
}

std::u16string_view View(const WCHAR* s) { return s ? std::u16string_view(s) : u""; }

// Win32 drops the default's trailing spaces (not its leading ones) and then
// treats it like a value read from the file.
std::u16string_view DefaultText(const WCHAR* def) {
  std::u16string_view d = View(def);
  while (!d.empty() && d.back() == u' ') d.remove_suffix(1);
  return StripProfileQuotes(d);
}

bool Contains(const std::vector<std::u16string_view>& names, std::u16string_view name) {
  return std::any_of(names.begin(), names.end(),
                     [&](std::u16string_view n) { return ProfileNamesEqual(n, name); });
}

}  // namespace

std::u16string DecodeProfileBytes(std::string_view bytes) {
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    return DecodeUtf16(bytes.substr(2), false);
  }
  if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFE &&
      static_cast<unsigned char>(bytes[1]) == 0xFF) {
    return DecodeUtf16(bytes.substr(2), true);
  }
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    return Utf8ToUtf16(bytes.substr(3));
  }
  return IsWellFormedUtf8(bytes) ? Utf8ToUtf16(bytes) : DecodeCp1252(bytes);
}

ProfileDocument ParseProfileText(std::u16string_view text) {
  ProfileDocument doc;
  // Folded names seen so far, so that a large file parses in linear time.
  std::unordered_set<std::u16string> section_names;
  std::unordered_set<std::u16string> key_names;
  // The index of the section keys go to; none before the first header and
  // under a repeated one.
  constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  std::size_t current = kNone;

  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t end = text.find(u'\n', pos);
    if (end == std::u16string_view::npos) end = text.size();
    std::u16string_view line = text.substr(pos, end - pos);
    pos = end + 1;

    line = line.substr(0, line.find(u'\0'));
    line = TrimProfileBlanks(line);
    if (line.empty() || line.front() == u';') continue;

    if (line.front() == u'[') {
      const std::size_t close = line.rfind(u']');
      if (close != std::u16string_view::npos) {
        const std::u16string_view name = TrimProfileBlanks(line.substr(1, close - 1));
        current = kNone;
        // A section with an empty name cannot be asked for; its keys go
        // nowhere.
        if (!name.empty() && section_names.insert(Folded(name)).second) {
          current = doc.sections.size();
          doc.sections.push_back({std::u16string(name), {}});
          key_names.clear();
        }
        continue;
      }
      // Without a ']' the line is not a header; it is read as a key line.
    }

    const std::size_t eq = line.find(u'=');
    if (eq == std::u16string_view::npos || current == kNone) continue;
    const std::u16string_view name = TrimProfileBlanks(line.substr(0, eq));
    if (name.empty() || !key_names.insert(Folded(name)).second) continue;
    doc.sections[current].keys.push_back(
        {std::u16string(name), std::u16string(TrimProfileBlanks(line.substr(eq + 1)))});
  }
  return doc;
}

ProfileDocument ParseProfile(std::string_view bytes) {
  return ParseProfileText(DecodeProfileBytes(bytes));
}

bool ProfileNamesEqual(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

std::u16string_view TrimProfileBlanks(std::u16string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

std::u16string_view StripProfileQuotes(std::u16string_view value) {
  if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

const ProfileSection* FindProfileSection(const ProfileDocument& doc, std::u16string_view name) {
  name = TrimProfileBlanks(name);
  for (const auto& section : doc.sections) {
    if (ProfileNamesEqual(section.name, name)) return &section;
  }
  return nullptr;
}

const ProfileKey* FindProfileKey(const ProfileSection& section, std::u16string_view name) {
  name = TrimProfileBlanks(name);
  for (const auto& key : section.keys) {
    if (ProfileNamesEqual(key.name, name)) return &key;
  }
  return nullptr;
}

void SetProfileOverride(std::vector<ProfileOverride>& overrides, std::u16string_view section,
                        std::u16string_view key, std::u16string_view value) {
  section = TrimProfileBlanks(section);
  key = TrimProfileBlanks(key);
  value = TrimProfileBlanks(value);
  // Names that could never be asked for are not kept.
  if (section.empty() || key.empty()) return;
  for (auto& o : overrides) {
    if (ProfileNamesEqual(o.section, section) && ProfileNamesEqual(o.key, key)) {
      o.value = value;
      return;
    }
  }
  overrides.push_back({std::u16string(section), std::u16string(key), std::u16string(value)});
}

std::optional<std::u16string_view> LookupProfileValue(const ProfileDocument& doc,
                                                      const std::vector<ProfileOverride>& overrides,
                                                      std::u16string_view section,
                                                      std::u16string_view key) {
  section = TrimProfileBlanks(section);
  key = TrimProfileBlanks(key);
  for (const auto& o : overrides) {
    if (ProfileNamesEqual(o.section, section) && ProfileNamesEqual(o.key, key)) return o.value;
  }
  if (const ProfileSection* s = FindProfileSection(doc, section)) {
    if (const ProfileKey* k = FindProfileKey(*s, key)) return k->value;
  }
  return std::nullopt;
}

std::vector<std::u16string_view> ProfileKeyNames(const ProfileDocument& doc,
                                                 const std::vector<ProfileOverride>& overrides,
                                                 std::u16string_view section) {
  section = TrimProfileBlanks(section);
  std::vector<std::u16string_view> names;
  if (const ProfileSection* s = FindProfileSection(doc, section)) {
    for (const auto& key : s->keys) names.push_back(key.name);
  }
  for (const auto& o : overrides) {
    if (ProfileNamesEqual(o.section, section) && !Contains(names, o.key)) {
      names.push_back(o.key);
    }
  }
  return names;
}

std::vector<std::u16string_view> ProfileSectionNames(
    const ProfileDocument& doc, const std::vector<ProfileOverride>& overrides) {
  std::vector<std::u16string_view> names;
  for (const auto& section : doc.sections) names.push_back(section.name);
  for (const auto& o : overrides) {
    if (!Contains(names, o.section)) {
      names.push_back(o.section);
    }
  }
  return names;
}

uint32_t ParseProfileInt(std::u16string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] <= u' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) {
    negative = text[i] == u'-';
    ++i;
  }
  uint32_t base = 10;
  if (i + 1 < text.size() && text[i] == u'0') {
    const char16_t prefix = text[i + 1];
    if (prefix == u'x' || prefix == u'X') {
      base = 16;
    } else if (prefix == u'o') {
      base = 8;
    } else if (prefix == u'b') {
      base = 2;
    }
    if (base != 10) i += 2;
  }
  uint32_t total = 0;  // unsigned: overflow wraps, as Windows' does
  for (; i < text.size(); ++i) {
    const int digit = DigitValue(text[i]);
    if (digit < 0 || static_cast<uint32_t>(digit) >= base) break;
    total = total * base + static_cast<uint32_t>(digit);
  }
  return negative ? 0u - total : total;
}

DWORD CopyProfileString(std::u16string_view s, WCHAR* buf, DWORD size) {
  if (!buf || size == 0) return 0;
  const std::size_t n = std::min<std::size_t>(s.size(), size - 1);
  std::copy_n(s.data(), n, buf);
  buf[n] = 0;
  return static_cast<DWORD>(n);
}

DWORD CopyProfileNameList(const std::vector<std::u16string_view>& names, WCHAR* buf,
                          DWORD size) {
  if (!buf || size == 0) return 0;
  if (size == 1) {
    buf[0] = 0;
    return 0;
  }
  std::size_t at = 0;  // always <= size - 1: the list's last NUL still fits
  for (const std::u16string_view name : names) {
    if (at + name.size() + 2 > size) {
      // Cut: what fits before the two closing NULs.
      const std::size_t room = size - 2 > at ? size - 2 - at : 0;
      std::copy_n(name.data(), std::min(room, name.size()), buf + at);
      buf[size - 2] = 0;
      buf[size - 1] = 0;
      return size - 2;
    }
    std::copy_n(name.data(), name.size(), buf + at);
    at += name.size();
    buf[at++] = 0;
  }
  buf[at] = 0;
  if (at == 0) buf[1] = 0;  // the empty list: "" and the closing NUL
  return static_cast<DWORD>(at);
}

DWORD ReadProfileString(const ProfileDocument& doc, const std::vector<ProfileOverride>& overrides,
                        const WCHAR* section, const WCHAR* key, const WCHAR* def, WCHAR* buf,
                        DWORD size) {
  if (!buf || size == 0) return 0;
  if (!section) return CopyProfileNameList(ProfileSectionNames(doc, overrides), buf, size);
  if (!key) {
    const auto names = ProfileKeyNames(doc, overrides, section);
    const std::u16string_view d = DefaultText(def);
    if (names.empty() && !d.empty()) return CopyProfileString(d, buf, size);
    return CopyProfileNameList(names, buf, size);
  }
  const auto value = LookupProfileValue(doc, overrides, section, key);
  return CopyProfileString(value ? StripProfileQuotes(*value) : DefaultText(def), buf, size);
}

UINT ReadProfileInt(const ProfileDocument& doc, const std::vector<ProfileOverride>& overrides,
                    const WCHAR* section, const WCHAR* key, int def) {
  if (!section || !key) return static_cast<UINT>(def);
  const auto value = LookupProfileValue(doc, overrides, section, key);
  if (!value) return static_cast<UINT>(def);
  const std::u16string_view text = StripProfileQuotes(*value);
  // An empty value reads as missing, as in Win32.
  if (text.empty()) return static_cast<UINT>(def);
  return ParseProfileInt(text);
}

}  // namespace pclspool::posix
