#include "support/render/page_image.h"

namespace pclspool::render {

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Reads one decimal header field after blanks and '#' comments; -1 when
// there is none or it is out of range.
long HeaderNumber(const std::string& s, std::size_t* at) {
  std::size_t i = *at;
  for (;;) {
    while (i < s.size() && IsSpace(s[i])) ++i;
    if (i < s.size() && s[i] == '#') {
      while (i < s.size() && s[i] != '\n') ++i;
      continue;
    }
    break;
  }
  long value = 0;
  const std::size_t from = i;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') {
    value = value * 10 + (s[i] - '0');
    if (value > kMaxPageSide) return -1;
    ++i;
  }
  if (i == from) return -1;
  *at = i;
  return value;
}

}  // namespace

PageImages ParsePgmImages(const std::string& bytes, const std::string& where) {
  PageImages out;
  std::size_t at = 0;
  while (at < bytes.size()) {
    const std::string image = where + ", image " + std::to_string(out.pages.size() + 1);
    if (bytes.compare(at, 2, "P5") != 0) {
      out.error = image + ": not a binary PGM (P5) image at byte " + std::to_string(at);
      return out;
    }
    at += 2;
    const long width = HeaderNumber(bytes, &at);
    const long height = HeaderNumber(bytes, &at);
    const long maxval = HeaderNumber(bytes, &at);
    if (width <= 0 || height <= 0 || maxval != 255) {
      out.error = image + ": bad header (width, height up to " + std::to_string(kMaxPageSide) +
                  ", maxval 255)";
      return out;
    }
    // One blank ends the header.
    if (at >= bytes.size() || !IsSpace(bytes[at])) {
      out.error = image + ": header not ended by a blank";
      return out;
    }
    ++at;
    const std::size_t size = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    if (bytes.size() - at < size) {
      out.error = image + ": " + std::to_string(size) + " pixel bytes expected, " +
                  std::to_string(bytes.size() - at) + " left";
      return out;
    }
    PageImage page;
    page.width = static_cast<int>(width);
    page.height = static_cast<int>(height);
    page.pixels.assign(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                       bytes.begin() + static_cast<std::ptrdiff_t>(at + size));
    out.pages.push_back(std::move(page));
    at += size;
  }
  return out;
}

}  // namespace pclspool::render
