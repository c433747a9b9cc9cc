#include "filter/ppd_watermarks.h"


namespace pclspool::filter {

namespace {

// A PPD translation string's longest (PPD 4.3 allows 128 bytes; a hex
// escape counts four).
constexpr std::size_t kMaxLabelBytes = 120;

// The next code point of UTF-8 text at *i, or U+FFFD for a malformed byte.
char32_t NextCodePoint(const std::string& s, std::size_t* i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char b = byte((*i)++);
  int more = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
  if (b >= 0x80 && more == 0) return 0xFFFD;
  char32_t c = more == 3 ? b & 0x07 : more == 2 ? b & 0x0F : more == 1 ? b & 0x1F : b;
  for (; more > 0; --more) {
    if (*i >= s.size() || (byte(*i) & 0xC0) != 0x80) return 0xFFFD;
    c = (c << 6) | (byte((*i)++) & 0x3F);
  }
  return c;
}

}  // namespace

std::string PpdLabel(const std::string& utf8) {
  std::string label;
  for (std::size_t i = 0; i < utf8.size();) {
    const char32_t c = NextCodePoint(utf8, &i);
    // What ends a label or a PPD string (':', '"', '/', a hex '<'), and
    // Latin-1 beyond ASCII, goes in hex; what Latin-1 lacks becomes '?'.
    const bool special = c == ':' || c == '<' || c == '>' || c == '"' || c == '/';
    std::string piece;
    if (c >= 0x20 && c < 0x7F && !special) {
      piece = static_cast<char>(c);
    } else if (special || (c >= 0xA0 && c <= 0xFF)) {
      constexpr char kHex[] = "0123456789ABCDEF";
      piece = {'<', kHex[(c >> 4) & 0xF], kHex[c & 0xF], '>'};
    } else {
      piece = "?";
    }
    if (label.size() + piece.size() > kMaxLabelBytes) break;
    label += piece;
  }
  return label.empty() ? "?" : label;
}

std::string WithWatermarkTexts(const std::string& ppd, const std::vector<std::string>& texts) {
  const std::string open = "*OpenUI *Watermark";
  const std::string close = "*CloseUI: *Watermark";
  const std::size_t from = ppd.find(open);
  const std::size_t to = from == std::string::npos ? from : ppd.find(close, from);
  if (to == std::string::npos) return "";
  std::string out = ppd.substr(0, from);
  // The option's own lines stay; its numbered choices are the texts'.
  std::size_t line = from;
  while (line < to) {
    std::size_t end = ppd.find('\n', line);
    if (end == std::string::npos || end > to) end = to;
    const std::string text = ppd.substr(line, end - line);
    const bool numbered = text.size() > 11 && text.compare(0, 11, "*Watermark ") == 0 &&
                          text[11] >= '0' && text[11] <= '9';
    if (!numbered) out += text + (end < to ? "\n" : "");
    line = end + 1;
  }
  for (std::size_t n = 0; n < texts.size(); ++n) {
    out += "*Watermark " + std::to_string(n + 1) + "/" + PpdLabel(texts[n]) + ": \"\"\n";
  }
  out += ppd.substr(to);
  return out;
}

}  // namespace pclspool::filter
