#include "output_compare.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "support/class2_decoder.h"

namespace pclspool::wine {

namespace {

constexpr char kEsc = '\x1B';
// Font descriptor bytes that come from the rasteriser's TEXTMETRICW:
// baseline, cell width and cell height (6 to 11); pitch, height and
// x-height (16 to 21).
constexpr std::size_t kMetricRanges[][2] = {{6, 12}, {16, 22}};

bool StartsWith(std::string_view s, std::size_t at, std::string_view lit) {
  return s.size() - at >= lit.size() && s.compare(at, lit.size(), lit) == 0;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads an optionally signed decimal number at *at; false when none.
bool ReadNumber(std::string_view s, std::size_t* at, long* value) {
  std::size_t i = *at;
  bool negative = false;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) negative = s[i++] == '-';
  const std::size_t digits = i;
  long v = 0;
  while (i < s.size() && IsDigit(s[i]) && i - digits < 9) v = v * 10 + (s[i++] - '0');
  if (i == digits) return false;
  *value = negative ? -v : v;
  *at = i;
  return true;
}

// A command "<prefix>#W" at `at` with its byte count; the data follows.
bool ReadDataCommand(std::string_view s, std::size_t at, std::string_view prefix,
                     std::size_t* data_start, std::size_t* count) {
  if (!StartsWith(s, at, prefix)) return false;
  std::size_t i = at + prefix.size();
  long n = 0;
  if (!ReadNumber(s, &i, &n) || n < 0 || i >= s.size() || s[i] != 'W') return false;
  *data_start = i + 1;
  *count = std::min<std::size_t>(static_cast<std::size_t>(n), s.size() - *data_start);
  return true;
}

std::string Escaped(std::string_view s) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (c >= 0x20 && c < 0x7F && c != '\\') {
      out.push_back(static_cast<char>(c));
    } else {
      out += "\\x";
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

struct Position {
  long x, y;
};

std::vector<Position> PenPositions(std::string_view s) {
  std::vector<Position> out;
  for (std::size_t i = s.find("PA"); i != std::string_view::npos; i = s.find("PA", i + 1)) {
    std::size_t j = i + 2;
    Position p{};
    if (ReadNumber(s, &j, &p.x) && j < s.size() && s[j] == ',' && ReadNumber(s, &++j, &p.y) &&
        j < s.size() && s[j] == ';') {
      out.push_back(p);
    }
  }
  return out;
}

int DescriptorU16(const std::vector<uint8_t>& d, std::size_t at) {
  return at + 1 < d.size() ? d[at] << 8 | d[at + 1] : -1;
}

}  // namespace

std::string MaskRasteriserBytes(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t data = 0, count = 0;
    if (s[i] == kEsc && ReadDataCommand(s, i, "\x1B)s", &data, &count)) {
      // The font descriptor: only the metrics fields are masked.
      std::string descriptor(s.substr(data, count));
      for (const auto& r : kMetricRanges) {
        for (std::size_t k = r[0]; k < r[1] && k < descriptor.size(); ++k) descriptor[k] = '#';
      }
      out.append(s.substr(i, data - i));
      out += descriptor;
      i = data + count;
    } else if (s[i] == kEsc && ReadDataCommand(s, i, "\x1B(s", &data, &count)) {
      out += "\x1B(s#W<character data>";
      i = data + count;
    } else if (s[i] == kEsc && ReadDataCommand(s, i, "\x1B*b", &data, &count)) {
      // Raster rows of the page itself: kept, but never scanned for
      // commands.
      out.append(s.substr(i, data + count - i));
      i = data + count;
    } else if (StartsWith(s, i, "PA")) {
      std::size_t j = i + 2;
      long x = 0, y = 0;
      if (ReadNumber(s, &j, &x) && j < s.size() && s[j] == ',' && ReadNumber(s, &++j, &y) &&
          j < s.size() && s[j] == ';') {
        out += "PA#,#;";
        i = j + 1;
      } else {
        out.push_back(s[i++]);
      }
    } else {
      out.push_back(s[i++]);
    }
  }
  return out;
}

std::string FirstDifference(std::string_view got, std::string_view want) {
  if (got == want) return "";
  std::size_t at = 0;
  while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
  const std::size_t from = at > 16 ? at - 16 : 0;
  return "lengths " + std::to_string(got.size()) + " and " + std::to_string(want.size()) +
         ", first difference at byte " + std::to_string(at) + ": got \"" +
         Escaped(got.substr(from, 48)) + "\", want \"" + Escaped(want.substr(from, 48)) + "\"";
}

std::string DescribeGlyphDifferences(std::string_view got, std::string_view want,
                                     const char* got_name, const char* want_name) {
  const testing::SoftFontStream a = testing::ParseSoftFont(got);
  const testing::SoftFontStream b = testing::ParseSoftFont(want);
  std::string out;
  if (!a.ok() || !b.ok()) return "  soft fonts unreadable: " + a.error + " / " + b.error + "\n";

  static const char* const kFields[] = {"baseline", "cell width", "cell height",
                                        "pitch",    "height",     "x-height"};
  static const std::size_t kOffsets[] = {6, 8, 10, 16, 18, 20};
  if (!a.headers.empty() && !b.headers.empty()) {
    std::string line;
    for (std::size_t f = 0; f < 6; ++f) {
      const int x = DescriptorU16(a.headers[0].descriptor, kOffsets[f]);
      const int y = DescriptorU16(b.headers[0].descriptor, kOffsets[f]);
      if (x != y)
        line += std::string(" ") + kFields[f] + " " + std::to_string(x) + "/" + std::to_string(y);
    }
    out += "  font descriptor (" + std::string(got_name) + "/" + want_name +
           "):" + (line.empty() ? " same" : line) + "\n";
  }

  // The first download of each code: later ones (booklet pages) repeat it.
  std::vector<int> seen;
  int same_glyphs = 0;
  for (const testing::SoftFontChar& c : a.chars) {
    if (std::find(seen.begin(), seen.end(), c.code) != seen.end()) continue;
    seen.push_back(c.code);
    auto other = std::find_if(b.chars.begin(), b.chars.end(),
                              [&](const testing::SoftFontChar& d) { return d.code == c.code; });
    std::string line = "  code " + std::to_string(c.code) + ":";
    if (other == b.chars.end()) {
      out += line + " only in " + got_name + "\n";
      continue;
    }
    const int fa[] = {c.LeftOffset(), c.TopOffset(), c.Width(), c.Height(), c.DeltaX()};
    const int fb[] = {other->LeftOffset(), other->TopOffset(), other->Width(), other->Height(),
                      other->DeltaX()};
    static const char* const kCharFields[] = {"left", "top", "width", "height", "delta x"};
    bool differs = false;
    for (int f = 0; f < 5; ++f) {
      if (fa[f] != fb[f]) {
        line += std::string(" ") + kCharFields[f] + " " + std::to_string(fa[f]) + "/" +
                std::to_string(fb[f]);
        differs = true;
      }
    }
    const testing::DecodedBitmap ba = testing::DecodeGlyph(c);
    const testing::DecodedBitmap bb = testing::DecodeGlyph(*other);
    if (!ba.ok() || !bb.ok()) {
      line += " undecodable (" + ba.error + bb.error + ")";
      differs = true;
    } else if (fa[2] == fb[2] && fa[3] == fb[3]) {
      long pixels = 0, inked = 0;
      for (std::size_t k = 0; k < ba.rows.size() && k < bb.rows.size(); ++k) {
        pixels += __builtin_popcount(static_cast<unsigned>(ba.rows[k] ^ bb.rows[k]));
        inked += __builtin_popcount(static_cast<unsigned>(ba.rows[k]));
      }
      if (pixels != 0) {
        line +=
            " " + std::to_string(pixels) + " of " + std::to_string(inked) + " inked pixels differ";
        differs = true;
      }
    } else {
      line += " (bitmaps of different sizes)";
    }
    if (differs) {
      out += line + "\n";
    } else {
      ++same_glyphs;
    }
  }
  out += "  " + std::to_string(same_glyphs) + " of " + std::to_string(seen.size()) +
         " glyphs identical\n";

  const std::vector<Position> pa = PenPositions(got), pb = PenPositions(want);
  long worst = 0;
  for (std::size_t k = 0; k < pa.size() && k < pb.size(); ++k) {
    worst = std::max({worst, std::labs(pa[k].x - pb[k].x), std::labs(pa[k].y - pb[k].y)});
  }
  out += "  labels: " + std::to_string(pa.size()) + "/" + std::to_string(pb.size()) +
         ", largest position difference " + std::to_string(worst) + " plotter units\n";
  return out;
}

}  // namespace pclspool::wine
