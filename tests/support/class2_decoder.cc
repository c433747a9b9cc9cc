#include "support/class2_decoder.h"

#include <algorithm>
#include <cstring>

namespace pclspool::testing {

namespace {

std::string At(const char* what, std::size_t where) {
  return std::string(what) + " at byte " + std::to_string(where);
}

bool AllocRows(DecodedBitmap& out, int width, int height) {
  if (width <= 0 || height < 0) {
    out.error = "bad glyph size " + std::to_string(width) + "x" + std::to_string(height);
    return false;
  }
  const std::size_t row_bytes = (static_cast<std::size_t>(width) + 7) / 8;
  if (static_cast<std::size_t>(height) > kMaxDecodedBytes / row_bytes) {
    out.error = "glyph too large to decode";
    return false;
  }
  out.rows.assign(row_bytes * static_cast<std::size_t>(height), 0);
  return true;
}

}  // namespace

DecodedBitmap DecodeClass2(const uint8_t* data, std::size_t size, int width, int height) {
  DecodedBitmap out;
  if (!AllocRows(out, width, height)) return out;
  if (!data && size) {
    out.error = "no data";
    return out;
  }
  const std::size_t row_bytes = (static_cast<std::size_t>(width) + 7) / 8;
  std::size_t pos = 0;
  for (int row = 0; row < height;) {
    if (pos >= size) {
      out.error = "data ends before row " + std::to_string(row);
      return out;
    }
    const int repeat = data[pos++];
    uint8_t* dst = out.rows.data() + static_cast<std::size_t>(row) * row_bytes;
    int x = 0;
    bool black = false;
    while (x < width) {
      if (pos >= size) {
        out.error = "row " + std::to_string(row) + " ends at pixel " + std::to_string(x);
        return out;
      }
      const int run = data[pos++];
      if (run > width - x) {
        out.error = "row " + std::to_string(row) + ": run of " + std::to_string(run) +
                    " at pixel " + std::to_string(x) + " passes the width (data byte " +
                    std::to_string(pos - 1) + ")";
        return out;
      }
      if (black)
        for (int i = x; i < x + run; ++i) dst[i >> 3] |= static_cast<uint8_t>(0x80 >> (i & 7));
      x += run;
      black = !black;
    }
    if (repeat > height - row - 1) {
      out.error = "row " + std::to_string(row) + " repeats past the glyph's height";
      return out;
    }
    for (int r = 1; r <= repeat; ++r) std::memcpy(dst + r * row_bytes, dst, row_bytes);
    row += 1 + repeat;
  }
  if (pos != size) out.error = std::to_string(size - pos) + " bytes left after the last row";
  return out;
}

DecodedBitmap DecodeGlyph(const SoftFontChar& c) {
  DecodedBitmap out;
  if (c.Class() == 2) return DecodeClass2(c.data.data(), c.data.size(), c.Width(), c.Height());
  if (c.Class() != 1) {
    out.error = "unknown class " + std::to_string(c.Class());
    return out;
  }
  if (!AllocRows(out, c.Width(), c.Height())) return out;
  if (c.data.size() != out.rows.size()) {
    out.error = "class 1 data of " + std::to_string(c.data.size()) + " bytes, expected " +
                std::to_string(out.rows.size());
    return out;
  }
  out.rows = c.data;
  return out;
}

SoftFontStream ParseSoftFont(std::string_view pcl) {
  SoftFontStream s;
  auto byte = [&](std::size_t i) { return static_cast<uint8_t>(pcl[i]); };
  int font_id = -1;
  int code = -1;
  std::size_t i = 0;
  while (i < pcl.size()) {
    if (byte(i) != 0x1B) {
      ++i;
      continue;
    }
    const std::size_t start = i++;
    if (i >= pcl.size()) break;
    const uint8_t lead = byte(i++);
    if (lead < 0x21 || lead > 0x2F) continue;  // a two-character escape
    uint8_t group = 0;
    if (i < pcl.size() && byte(i) >= 0x60 && byte(i) <= 0x7E) group = byte(i++);

    // value + parameter pairs; a lower-case parameter continues the
    // sequence, an upper-case one ends it.
    for (bool more = true; more;) {
      bool neg = false;
      if (i < pcl.size() && (pcl[i] == '+' || pcl[i] == '-')) neg = pcl[i++] == '-';
      long long value = 0;
      while (i < pcl.size() && pcl[i] >= '0' && pcl[i] <= '9') {
        value = std::min<long long>(value * 10 + (pcl[i] - '0'), 1LL << 40);
        ++i;
      }
      if (i < pcl.size() && pcl[i] == '.') {
        ++i;
        while (i < pcl.size() && pcl[i] >= '0' && pcl[i] <= '9') ++i;
      }
      if (neg) value = -value;
      if (i >= pcl.size()) {
        s.error = At("escape sequence cut off", start);
        return s;
      }
      uint8_t param = byte(i++);
      if (param >= 0x60 && param <= 0x7E) {
        param = static_cast<uint8_t>(param - 0x20);
      } else if (param >= 0x40 && param <= 0x5E) {
        more = false;
      } else {
        s.error = At("malformed escape sequence", start);
        return s;
      }

      const bool binary = (param == 'W' && !more) || (lead == '&' && group == 'p' && param == 'X');
      std::string_view payload;
      if (binary) {
        if (value < 0 || static_cast<unsigned long long>(value) > pcl.size() - i) {
          s.error = At("binary data runs past the stream", start);
          return s;
        }
        payload = pcl.substr(i, static_cast<std::size_t>(value));
        i += payload.size();
      }
      const auto* p = reinterpret_cast<const uint8_t*>(payload.data());

      if (lead == '*' && group == 'c' && param == 'D') {
        font_id = static_cast<int>(value);
        s.font_ids.push_back(font_id);
      } else if (lead == '*' && group == 'c' && param == 'E') {
        code = static_cast<int>(value);
      } else if (lead == '(' && group == 0 && param == 'X') {
        s.selected.push_back(static_cast<int>(value));
      } else if (lead == ')' && group == 's' && param == 'W') {
        s.headers.push_back({font_id, std::vector<uint8_t>(p, p + payload.size())});
      } else if (lead == '(' && group == 's' && param == 'W') {
        if (payload.size() < 2) {
          s.error = At("character block without a header", start);
          return s;
        }
        if (p[1] == 0) {
          const std::size_t header = payload.size() >= 3 ? std::size_t{p[2]} + 2 : 0;
          if (header < 3 || header > payload.size()) {
            s.error = At("character descriptor cut off", start);
            return s;
          }
          SoftFontChar c;
          c.font_id = font_id;
          c.code = code;
          c.descriptor.assign(p, p + header);
          c.data.assign(p + header, p + payload.size());
          c.block_counts.push_back(static_cast<int>(payload.size()));
          s.chars.push_back(std::move(c));
        } else {
          if (s.chars.empty()) {
            s.error = At("continuation block without a character", start);
            return s;
          }
          SoftFontChar& c = s.chars.back();
          c.data.insert(c.data.end(), p + 2, p + payload.size());
          c.block_counts.push_back(static_cast<int>(payload.size()));
        }
      }
    }
  }
  return s;
}

}  // namespace pclspool::testing
