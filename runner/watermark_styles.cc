#include "runner/watermark_styles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

#include "platform/posix/profile_reader.h"
#include "platform/posix/utf.h"
#include "runner/write_all.h"

namespace pclspool::runner {

namespace {

using posix::ProfileNamesEqual;

constexpr char16_t kSummary[] = u"StringSummary";
constexpr char16_t kSettings[] = u"SETTING";

// Defaults the module reads for a named face whose section lacks a key:
// the screen's system font, but for the height.
constexpr int kDefaultHeight = -50;
constexpr int kDefaultWeight = 700;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int Int(const posix::ProfileSection* s, std::u16string_view key, int def) {
  if (!s) return def;
  const posix::ProfileKey* k = posix::FindProfileKey(*s, key);
  if (!k || k->value.empty()) return def;
  return static_cast<int32_t>(posix::ParseProfileInt(posix::StripProfileQuotes(k->value)));
}

// The file as lines of text, each without its line end.
std::vector<std::u16string> Lines(const std::string& bytes) {
  const std::u16string text = posix::DecodeProfileBytes(bytes);
  std::vector<std::u16string> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find(u'\n', at);
    if (end == std::u16string::npos) end = text.size();
    std::u16string line = text.substr(at, end - at);
    if (!line.empty() && line.back() == u'\r') line.pop_back();
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

// The section a line heads, if it heads one.
std::optional<std::u16string_view> Header(std::u16string_view line) {
  line = posix::TrimProfileBlanks(line);
  const std::size_t close = line.rfind(u']');
  if (line.empty() || line.front() != u'[' || close == std::u16string_view::npos) return {};
  return posix::TrimProfileBlanks(line.substr(1, close - 1));
}

// The key a line sets, if it sets one.
std::optional<std::u16string_view> KeyOf(std::u16string_view line) {
  line = posix::TrimProfileBlanks(line);
  const std::size_t eq = line.find(u'=');
  if (line.empty() || line.front() == u';' || line.front() == u'[' ||
      eq == std::u16string_view::npos) {
    return {};
  }
  return posix::TrimProfileBlanks(line.substr(0, eq));
}

// The lines [first, end) of the first section so named: its header and
// body; first == end == lines.size() when there is none.
struct Span {
  std::size_t first;
  std::size_t end;
};
Span FindSection(const std::vector<std::u16string>& lines, std::u16string_view name) {
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const auto h = Header(lines[i]);
    if (!h || !ProfileNamesEqual(*h, name)) continue;
    std::size_t end = i + 1;
    while (end < lines.size() && !Header(lines[end])) ++end;
    return {i, end};
  }
  return {lines.size(), lines.size()};
}

// The body line within a span setting `key`, or span.end.
std::size_t FindKey(const std::vector<std::u16string>& lines, Span span, std::u16string_view key) {
  for (std::size_t i = span.first + 1; i < span.end; ++i) {
    const auto k = KeyOf(lines[i]);
    if (k && ProfileNamesEqual(*k, key)) return i;
  }
  return span.end;
}

// The keys this editor writes for a text, in the order a person would.
std::vector<std::pair<std::u16string, std::string>> StyleKeys(const WatermarkStyle& s) {
  return {{u"FaceName", s.face},
          {u"Height", std::to_string(s.height)},
          {u"Width", "0"},
          {u"Escapement", std::to_string(s.angle)},
          {u"Orientation", std::to_string(s.angle)},
          {u"Weight", std::to_string(s.weight)},
          {u"Dark", std::to_string(s.dark)},
          {u"CenterToPage", s.centred ? "1" : "0"},
          {u"XOffset", std::to_string(s.x_offset)},
          {u"YOffset", std::to_string(s.y_offset)}};
}

bool WriteLines(const std::string& ini, const std::vector<std::u16string>& lines,
                std::string* error) {
  std::string text;
  for (const std::u16string& line : lines) text += posix::Utf16ToUtf8(line) + "\n";
  // The new file takes the old one's permissions, or the owner's alone.
  struct stat st {};
  const mode_t mode = ::stat(ini.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0600;
  const std::string temp = ini + ".new";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  bool ok = fd >= 0 && WriteAll(fd, text) && ::fsync(fd) == 0;
  const int err = errno;
  if (fd >= 0) ok = ::close(fd) == 0 && ok;
  if (ok && ::rename(temp.c_str(), ini.c_str()) == 0) return true;
  *error = "cannot write " + ini + ": " + std::strerror(ok ? errno : err);
  ::unlink(temp.c_str());
  return false;
}

bool SameText(const std::string& a, const std::string& b) {
  return ProfileNamesEqual(posix::Utf8ToUtf16(a), posix::Utf8ToUtf16(b));
}

}  // namespace

std::vector<WatermarkStyle> ReadWatermarkStyles(const std::string& ini) {
  const posix::ProfileDocument doc = posix::ParseProfile(ReadFile(ini));
  std::vector<WatermarkStyle> styles;
  const posix::ProfileSection* summary = posix::FindProfileSection(doc, kSummary);
  if (!summary) return styles;
  for (const posix::ProfileKey& key : summary->keys) {
    WatermarkStyle s;
    s.text = posix::Utf16ToUtf8(key.name);
    const posix::ProfileSection* sec = posix::FindProfileSection(doc, key.name);
    const posix::ProfileKey* face = sec ? posix::FindProfileKey(*sec, u"FaceName") : nullptr;
    if (!face || posix::StripProfileQuotes(face->value).empty()) {
      // No face: the module's fixed 67-pixel Arial, upright, centred.
      s = WatermarkStyle{s.text, "Arial", -67, 0, 400, 0, true, 0, 0};
      styles.push_back(s);
      continue;
    }
    s.face = posix::Utf16ToUtf8(posix::StripProfileQuotes(face->value));
    s.height = Int(sec, u"Height", kDefaultHeight);
    s.angle = Int(sec, u"Escapement", 0);
    s.weight = Int(sec, u"Weight", kDefaultWeight);
    s.dark = Int(sec, u"Dark", 0);
    s.centred = Int(sec, u"CenterToPage", 1) != 0;
    s.x_offset = Int(sec, u"XOffset", 0);
    s.y_offset = Int(sec, u"YOffset", 0);
    styles.push_back(s);
  }
  return styles;
}

bool CheckWatermarkStyle(const WatermarkStyle& s, std::string* error) {
  const std::u16string text = posix::Utf8ToUtf16(s.text);
  const auto fail = [error](const std::string& why) {
    *error = why;
    return false;
  };
  if (text.empty() || posix::TrimProfileBlanks(text) != text) {
    return fail("the text is empty or begins or ends with blanks");
  }
  if (text.size() > kMaxTextChars) return fail("the text is longer than 200 characters");
  for (const char16_t c : text) {
    if (c < 0x20 || c == 0x7F || c == 0xFFFD) return fail("the text holds a control character");
    if (c == u'=' || c == u'[' || c == u']') return fail("the text holds =, [ or ]");
  }
  if (text.front() == u';') return fail("the text begins with ;");
  if (ProfileNamesEqual(text, kSummary) || ProfileNamesEqual(text, kSettings)) {
    return fail("the text names a section the settings file has already");
  }
  if (s.face.empty() || s.face.size() > kMaxFaceBytes) return fail("the face is empty or too long");
  for (const char c : s.face) {
    if (static_cast<unsigned char>(c) < 0x20 || c == '"') return fail("the face holds a control character or \"");
  }
  // Written as UTF-8, a byte that is not would come back as U+FFFD: a
  // face other than the one asked for.
  const std::u16string face = posix::Utf8ToUtf16(s.face);
  if (face.find(u'\uFFFD') != std::u16string::npos) return fail("the face is not UTF-8 text");
  // The file's reader drops them, as it drops quotes around a value.
  if (posix::TrimProfileBlanks(face) != face) return fail("the face begins or ends with blanks");
  if (posix::StripProfileQuotes(face) != face) return fail("the face is in quotes");
  if (s.height == 0 || s.height < -kMaxHeight || s.height > kMaxHeight) {
    return fail("the height is 0 or beyond " + std::to_string(kMaxHeight));
  }
  if (s.angle < 0 || s.angle >= 3600) return fail("the angle is not 0 to 3599 tenths of a degree");
  if (s.weight < 100 || s.weight > 900) return fail("the weight is not 100 to 900");
  if (s.dark < 0 || s.dark > kMaxDark) return fail("the darkness is not 0 to " + std::to_string(kMaxDark));
  if (s.x_offset < -kMaxOffset || s.x_offset > kMaxOffset || s.y_offset < -kMaxOffset ||
      s.y_offset > kMaxOffset) {
    return fail("an offset is beyond " + std::to_string(kMaxOffset) + " tenths of an inch");
  }
  return true;
}

bool SaveWatermarkStyle(const std::string& ini, const std::string& replaces,
                        const WatermarkStyle& style, std::string* error) {
  if (!CheckWatermarkStyle(style, error)) return false;
  for (const WatermarkStyle& other : ReadWatermarkStyles(ini)) {
    if (SameText(other.text, style.text) && !(!replaces.empty() && SameText(replaces, style.text))) {
      *error = "the settings file has the text \"" + other.text + "\" already";
      return false;
    }
  }
  std::vector<std::u16string> lines = Lines(ReadFile(ini));
  const std::u16string text = posix::Utf8ToUtf16(style.text);
  Span summary = FindSection(lines, kSummary);
  if (summary.first == lines.size()) {
    lines.push_back(u"[StringSummary]");
    summary = {lines.size() - 1, lines.size()};
  }
  if (replaces.empty()) {
    // After the section's last key, before any blank lines that end it.
    std::size_t at = summary.end;
    while (at > summary.first + 1 && posix::TrimProfileBlanks(lines[at - 1]).empty()) --at;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), text + u"=1");
  } else {
    const std::u16string old = posix::Utf8ToUtf16(replaces);
    const std::size_t key = FindKey(lines, summary, old);
    if (key == summary.end) {
      *error = "the settings file has no text \"" + replaces + "\"";
      return false;
    }
    lines[key] = text + u"=1";
    const Span section = FindSection(lines, old);
    if (section.first < lines.size()) lines[section.first] = u"[" + text + u"]";
  }
  Span section = FindSection(lines, text);
  if (section.first == lines.size()) {
    if (!lines.empty() && !posix::TrimProfileBlanks(lines.back()).empty()) lines.emplace_back();
    lines.push_back(u"[" + text + u"]");
    section = {lines.size() - 1, lines.size()};
  }
  for (const auto& [key, value] : StyleKeys(style)) {
    const std::u16string line = key + u"=" + posix::Utf8ToUtf16(value);
    const std::size_t at = FindKey(lines, section, key);
    if (at < section.end) {
      lines[at] = line;
    } else {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(section.end), line);
      ++section.end;
    }
  }
  return WriteLines(ini, lines, error);
}

bool DeleteWatermarkStyle(const std::string& ini, const std::string& text, std::string* error) {
  std::vector<std::u16string> lines = Lines(ReadFile(ini));
  const std::u16string name = posix::Utf8ToUtf16(text);
  const Span summary = FindSection(lines, kSummary);
  const std::size_t key = FindKey(lines, summary, name);
  if (summary.first == lines.size() || key == summary.end) {
    *error = "the settings file has no text \"" + text + "\"";
    return false;
  }
  lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(key));
  const Span section = FindSection(lines, name);
  if (section.first < lines.size()) {
    lines.erase(lines.begin() + static_cast<std::ptrdiff_t>(section.first),
                lines.begin() + static_cast<std::ptrdiff_t>(section.end));
  }
  return WriteLines(ini, lines, error);
}

}  // namespace pclspool::runner
