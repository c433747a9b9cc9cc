#include "pcl/label_glyphs.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <utility>

namespace pclspool::pcl {

namespace {

constexpr char kEsc = '\x1b';
// HP-GL/2 plotter units a millimetre-based inch holds.
constexpr double kPlotterUnitsPerInch = 1016.0;
constexpr int kDecipointsPerInch = 720;
// A font header of format 20 carries its resolution here.
constexpr std::size_t kFontResolutionAt = 64;
constexpr std::size_t kCharDescriptorBytes = 16;
// No glyph of ours comes near this; a larger one is a broken stream.
constexpr int kMaxGlyphSide = 8192;

int U16(const uint8_t* p) { return p[0] << 8 | p[1]; }
int S16(const uint8_t* p) { return static_cast<int16_t>(U16(p)); }

bool DecodeClass2(const uint8_t* data, std::size_t size, GlyphBitmap* g) {
  const std::size_t row_bytes = (static_cast<std::size_t>(g->width) + 7) / 8;
  std::size_t pos = 0;
  for (int row = 0; row < g->height;) {
    if (pos >= size) return false;
    const int repeat = data[pos++];
    uint8_t* dst = g->rows.data() + static_cast<std::size_t>(row) * row_bytes;
    bool black = false;
    for (int x = 0; x < g->width; black = !black) {
      if (pos >= size) return false;
      const int run = data[pos++];
      if (run > g->width - x) return false;
      for (int i = x; black && i < x + run; ++i) dst[i >> 3] |= static_cast<uint8_t>(0x80 >> (i & 7));
      x += run;
    }
    if (repeat > g->height - row - 1) return false;
    for (int r = 1; r <= repeat; ++r) std::memcpy(dst + r * row_bytes, dst, row_bytes);
    row += 1 + repeat;
  }
  return true;
}

struct Glyph {
  std::size_t bitmap;  // index into LabelPages::glyphs
  int left;            // reference point to the bitmap's left edge, dots
  int top;             // reference point up to the bitmap's top edge
  int advance;         // quarter dots
};

class Reader {
 public:
  Reader(std::string_view s, const LabelFrame& frame) : s_(s), frame_(frame) {}

  LabelPages Read() {
    while (at_ < s_.size() && out_.error.empty()) {
      if (s_[at_] != kEsc) {
        ++at_;
        continue;
      }
      Escape();
    }
    return std::move(out_);
  }

 private:
  void Fail(const std::string& why) { out_.error = why + " at byte " + std::to_string(at_); }

  // One escape sequence: a parameterized one, its binary data skipped or
  // taken, or a two-character one.
  void Escape() {
    ++at_;
    if (at_ + 1 >= s_.size()) return;
    const char family = s_[at_];
    if (family < '!' || family > '/') {
      ++at_;
      return;
    }
    // A group character (ESC & l ...) or none (ESC % 0 B, ESC ( 10 U).
    const char next = s_[at_ + 1];
    const bool grouped = next >= '`' && next <= '~';
    const char group = grouped ? next : '\0';
    at_ += grouped ? 2 : 1;
    while (at_ < s_.size()) {
      const std::size_t start = at_;
      while (at_ < s_.size() && (std::strchr("+-.", s_[at_]) || (s_[at_] >= '0' && s_[at_] <= '9'))) ++at_;
      if (at_ >= s_.size()) return;
      const double value = std::atof(std::string(s_.substr(start, at_ - start)).c_str());
      const char param = s_[at_++];
      const bool last = param >= '@' && param <= '^';
      Command(family, group, static_cast<char>(last ? param : param - 32), value);
      if (!out_.error.empty() || last || hpgl_) return;
    }
  }

  void Command(char family, char group, char param, double value) {
    const long n = std::lround(value);
    if (family == '%' && param == 'B') {
      hpgl_ = true;
      Hpgl();
      hpgl_ = false;
    } else if (family == '*' && group == 'c' && param == 'D') {
      font_id_ = n;
    } else if (family == '*' && group == 'c' && param == 'E') {
      code_ = n;
    } else if (family == '*' && group == 'c' && param == 'X') {
      frame_width_ = n;
    } else if (family == '*' && group == 'c' && param == 'Y') {
      frame_height_ = n;
    } else if (param == 'W' && n >= 0) {
      const std::size_t size = static_cast<std::size_t>(n);
      if (size > s_.size() - at_) return Fail("data block runs past the end");
      const auto* data = reinterpret_cast<const uint8_t*>(s_.data() + at_);
      if (family == ')' && group == 's') FontHeader(data, size);
      if (family == '(' && group == 's') Character(data, size);
      at_ += size;
    }
  }

  void FontHeader(const uint8_t* d, std::size_t size) {
    if (size > kFontResolutionAt + 1 && d[2] == 20 && U16(d + kFontResolutionAt) != frame_.resolution) {
      Fail("font of " + std::to_string(U16(d + kFontResolutionAt)) + " dpi on a page of " +
           std::to_string(frame_.resolution));
    }
  }

  void Character(const uint8_t* d, std::size_t size) {
    if (size < kCharDescriptorBytes || d[0] != 4 || d[1] != 0) return;  // continuations: not ours
    GlyphBitmap g;
    g.width = U16(d + 10);
    g.height = U16(d + 12);
    if (g.width > kMaxGlyphSide || g.height > kMaxGlyphSide) return Fail("glyph too large");
    g.rows.assign((static_cast<std::size_t>(g.width) + 7) / 8 * static_cast<std::size_t>(g.height), 0);
    const uint8_t* data = d + kCharDescriptorBytes;
    const std::size_t data_size = size - kCharDescriptorBytes;
    if (d[3] == 1 && data_size >= g.rows.size()) {
      std::memcpy(g.rows.data(), data, g.rows.size());
    } else if (d[3] != 2 || !DecodeClass2(data, data_size, &g)) {
      return Fail("character " + std::to_string(code_) + " cannot be decoded");
    }
    out_.glyphs.push_back(std::move(g));
    fonts_[{font_id_, code_}] = {out_.glyphs.size() - 1, S16(d + 6), S16(d + 8), U16(d + 14)};
  }

  // An HP-GL/2 block, up to the escape that ends it.
  void Hpgl() {
    LabelBlock block;
    block.shading = shading_;
    while (at_ < s_.size() && s_[at_] != kEsc) {
      const char c0 = s_[at_];
      if (!std::isalpha(static_cast<unsigned char>(c0)) || at_ + 1 >= s_.size()) {
        ++at_;
        continue;
      }
      const std::string op{static_cast<char>(std::toupper(c0)),
                           static_cast<char>(std::toupper(static_cast<unsigned char>(s_[at_ + 1])))};
      at_ += 2;
      if (op == "LB") {
        Label(&block);
        continue;
      }
      if (op == "DT") {
        terminator_ = at_ < s_.size() && s_[at_] != ';' ? s_[at_++] : '\x03';
        continue;
      }
      std::vector<double> args;
      while (at_ < s_.size() && s_[at_] != ';' && s_[at_] != kEsc &&
             !std::isalpha(static_cast<unsigned char>(s_[at_]))) {
        const std::size_t start = at_;
        while (at_ < s_.size() && (std::strchr("+-.", s_[at_]) || std::isdigit(static_cast<unsigned char>(s_[at_])))) ++at_;
        if (at_ > start) args.push_back(std::atof(std::string(s_.substr(start, at_ - start)).c_str()));
        if (at_ < s_.size() && s_[at_] == ',') ++at_;
        if (at_ == start) ++at_;
      }
      if (at_ < s_.size() && s_[at_] == ';') ++at_;
      if (op == "IN") terminator_ = '\x03';
      if (op == "FI" && !args.empty()) hpgl_font_ = std::lround(args[0]);
      if (op == "PA" && args.size() >= 2) pen_x_ = args[0], pen_y_ = args[1];
      if (op == "FT" && !args.empty() && std::lround(args[0]) == 10 && args.size() >= 2) {
        shading_ = static_cast<int>(std::lround(args[1]));
        if (block.glyphs.empty()) block.shading = shading_;
      }
    }
    if (!block.glyphs.empty()) out_.blocks.push_back(std::move(block));
  }

  // The characters of a label, each at the pen, the pen moved on by its
  // advance.
  void Label(LabelBlock* block) {
    const double dots_per_unit = frame_.resolution / kPlotterUnitsPerInch;
    const double frame_bottom =
        static_cast<double>(frame_height_) * frame_.resolution / kDecipointsPerInch;
    while (at_ < s_.size() && s_[at_] != terminator_) {
      const int code = static_cast<uint8_t>(s_[at_++]);
      const auto g = fonts_.find({hpgl_font_, code});
      if (g == fonts_.end()) continue;  // nothing downloaded: nothing printed
      const long pen_x = std::lround(pen_x_ * dots_per_unit) + frame_.logical_left;
      const long pen_y = std::lround(frame_bottom - pen_y_ * dots_per_unit);
      block->glyphs.push_back({static_cast<int>(pen_x + g->second.left),
                               static_cast<int>(pen_y - g->second.top), nullptr});
      glyph_of_.push_back(g->second.bitmap);
      pen_x_ += g->second.advance / 4.0 / dots_per_unit;
    }
    if (at_ < s_.size()) ++at_;
  }

  std::string_view s_;
  LabelFrame frame_;
  std::size_t at_ = 0;
  LabelPages out_;
  bool hpgl_ = false;
  long font_id_ = 0;
  long code_ = 0;
  long frame_width_ = 0;
  long frame_height_ = 0;
  long hpgl_font_ = -1;
  char terminator_ = '\x03';
  double pen_x_ = 0;
  double pen_y_ = 0;
  int shading_ = 100;
  std::map<std::pair<long, long>, Glyph> fonts_;

 public:
  std::vector<std::size_t> glyph_of_;  // the bitmap of every placed glyph, in order
};

}  // namespace

LabelPages ReadLabelGlyphs(std::string_view stream, const LabelFrame& frame) {
  Reader reader(stream, frame);
  LabelPages pages = reader.Read();
  // Bitmaps are linked once all are downloaded: the vector no longer moves.
  std::size_t next = 0;
  for (LabelBlock& block : pages.blocks) {
    for (PlacedGlyph& g : block.glyphs) g.bitmap = &pages.glyphs[reader.glyph_of_[next++]];
  }
  return pages;
}

}  // namespace pclspool::pcl
