#include "watermark/class2_encoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "support/class2_decoder.h"
#include "support/plain_class2.h"

namespace pclspool {
namespace {

using Bytes = std::vector<uint8_t>;

std::size_t RowBytes(int width) { return (static_cast<std::size_t>(width) + 7) / 8; }

int Width(const std::vector<int>& runs) {
  int width = 0;
  for (int r : runs) width += r;
  return width;
}

// A packed row from run lengths, white first; padding bits set to `pad`.
Bytes FromRuns(const std::vector<int>& runs, bool pad = false) {
  const int width = Width(runs);
  Bytes row(RowBytes(width), pad ? 0xFF : 0x00);
  for (int x = 0; x < width; ++x) row[x >> 3] &= static_cast<uint8_t>(~(0x80 >> (x & 7)));
  int x = 0;
  bool black = false;
  for (int r : runs) {
    for (int i = 0; i < r; ++i, ++x)
      if (black) row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    black = !black;
  }
  return row;
}

std::vector<int> Alternating(int width, bool black_first) {
  std::vector<int> runs(black_first ? 1 : 0, 0);
  runs.insert(runs.end(), width, 1);
  return runs;
}

Bytes Encode(const Bytes& row, int width, int first = 1) {
  const int32_t n = EncodeRow(row.data(), static_cast<int16_t>(width), first);
  return n > 0 ? Bytes(RowResult(), RowResult() + n) : Bytes();
}

Bytes Compress(const Bytes& rows, int width, int height) {
  Bytes out(MaxCompressedSize(static_cast<int16_t>(width), height));
  out.resize(
      CompressBitmap(rows.data(), static_cast<int16_t>(width), height, out.data(), out.size()));
  return out;
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Repeat(const Bytes& row, int times) {
  Bytes rows;
  for (int i = 0; i < times; ++i) rows.insert(rows.end(), row.begin(), row.end());
  return rows;
}

// Clears the bits past the width in every row, as a decoder delivers them.
Bytes Masked(Bytes rows, int width) {
  if (width % 8 == 0) return rows;
  const auto keep = static_cast<uint8_t>(0xFF << (8 - width % 8));
  for (std::size_t i = RowBytes(width) - 1; i < rows.size(); i += RowBytes(width)) rows[i] &= keep;
  return rows;
}

TEST(EncodeRow, Encodings) {
  // 128 white, then single pixels from a 64-pixel boundary on: a word in
  // which every pixel starts a run, the first one ending a long run.
  std::vector<int> long_then_single = {128};
  long_then_single.insert(long_then_single.end(), 63, 1);
  long_then_single.push_back(9);
  struct Case {
    const char* name;
    std::vector<int> runs;  // white first
    Bytes expected;
    bool pad = false;
  } cases[] = {
      {"5 white 8 black 4 white 3 black", {5, 8, 4, 3}, {5, 8, 4, 3}},
      {"garbage past the width is ignored", {5, 8, 4, 3}, {5, 8, 4, 3}, true},
      {"starts black", {0, 3, 17}, {0, 3, 17}},
      {"runs of 300 and 280 split", {20, 300, 280}, {0x14, 0xFF, 0x00, 0x2D, 0xFF, 0x00, 0x19}},
      {"160 white", {160}, {0xA0}},
      {"160 black", {0, 160}, {0x00, 0xA0}},
      {"run of 255 is one byte", {255}, {0xFF}},
      {"run of 256", {256}, {0xFF, 0x00, 0x01}},
      {"run of 510", {510}, {0xFF, 0x00, 0xFF}},
      {"run of 511", {0, 511}, {0x00, 0xFF, 0x00, 0xFF, 0x00, 0x01}},
      {"one white pixel", {1}, {1}},
      {"one black pixel", {0, 1}, {0, 1}},
      {"white ends inside a 0x00 last byte", {12}, {12}},
      {"black ends inside a 0xFF last byte", {0, 12}, {0, 12}, true},
      {"black to the byte's end, white after", {0, 16, 4}, {0, 16, 4}, true},
      {"last run is one pixel after a long white", {299, 1}, {0xFF, 0x00, 0x2C, 0x01}},
      {"alternating 40 starting white", Alternating(40, false), Bytes(40, 1)},
      {"a long run ends where a word of single pixels begins", long_then_single,
       Bytes(long_then_single.begin(), long_then_single.end())},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Encode(FromRuns(c.runs, c.pad), Width(c.runs)), c.expected) << c.name;

  // The worst case, width + 1 bytes, also for rows wider than 2048 pixels.
  for (int width : {40, 2047, 2048, 3000, 32767}) {
    Bytes expected(static_cast<std::size_t>(width) + 1, 1);
    expected[0] = 0;
    EXPECT_EQ(Encode(FromRuns(Alternating(width, true)), width), expected) << width;
  }
}

TEST(EncodeRow, ReportsRepeatsOnlyWithinAGlyph) {
  const Bytes a = FromRuns({5, 8, 4, 3});
  const Bytes b = FromRuns({0, 3, 17});
  EXPECT_EQ(EncodeRow(a.data(), 20, 1), 4);
  EXPECT_EQ(EncodeRow(a.data(), 20, 0), 0) << "a repeat";
  EXPECT_EQ(Bytes(RowResult(), RowResult() + RowResultLength()), Bytes({5, 8, 4, 3}))
      << "the repeated row's encoding stays";
  EXPECT_EQ(EncodeRow(a.data(), 20, 1), 4) << "a glyph's first row is never a repeat";
  EXPECT_EQ(EncodeRow(b.data(), 20, 0), 3);
  EXPECT_EQ(EncodeRow(a.data(), 20, 0), 4) << "compared with the last row only";
  EXPECT_EQ(EncodeRow(a.data(), 0, 1), 0) << "width 0";
  EXPECT_EQ(EncodeRow(a.data(), -5, 1), 0) << "negative width";
}

TEST(CompressBitmap, RowEntries) {
  const Bytes a = FromRuns({5, 8, 4, 3});
  const Bytes b = FromRuns({0, 3, 17});
  const Bytes ea = {5, 8, 4, 3};
  const Bytes eb = {0, 3, 17};
  auto entries = [](std::initializer_list<std::pair<int, Bytes>> list) {
    Bytes out;
    for (const auto& [repeat, enc] : list) {
      out.push_back(static_cast<uint8_t>(repeat));
      out.insert(out.end(), enc.begin(), enc.end());
    }
    return out;
  };
  struct Case {
    const char* name;
    Bytes rows;
    Bytes expected;
  } cases[] = {
      {"one row", a, entries({{0, ea}})},
      {"a row and its repeat", Repeat(a, 2), entries({{1, ea}})},
      {"10 identical rows", Repeat(a, 10), entries({{9, ea}})},
      {"256 identical rows fill one entry", Repeat(a, 256), entries({{255, ea}})},
      {"257 identical rows open a second entry", Repeat(a, 257), entries({{255, ea}, {0, ea}})},
      {"600 identical rows", Repeat(a, 600), entries({{255, ea}, {255, ea}, {87, ea}})},
      {"a a b a", Concat({a, a, b, a}), entries({{1, ea}, {0, eb}, {0, ea}})},
  };
  for (const Case& c : cases) {
    const int height = static_cast<int>(c.rows.size() / 3);
    EXPECT_EQ(Compress(c.rows, 20, height), c.expected) << c.name;
  }
}

// Glyph-like and adversarial bitmaps: the output equals entries built from a
// plain pixel walk without staging, and decodes back to the bitmap.
TEST(CompressBitmap, MatchesThePlainWalkAndRoundTrips) {
  std::mt19937 rng(20240601);
  auto uniform = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  enum Kind { kNoise, kSparse, kRuns, kEllipse, kBands, kAllSame };
  int count = 0;
  for (int kind = kNoise; kind <= kAllSame; ++kind) {
    for (int n = 0; n < 24; ++n, ++count) {
      const int width = n < 3 ? n + 1 : n < 6 ? 2040 + uniform(0, 16) : uniform(1, 3000);
      const int height =
          kind == kAllSame ? uniform(250, 600) : uniform(1, kind == kNoise ? 120 : 600);
      const std::size_t rb = RowBytes(width);
      Bytes rows(rb * height);
      for (auto& v : rows) v = static_cast<uint8_t>(uniform(0, 255));  // padding garbage too
      auto set = [&](int x, int y, bool black) {
        uint8_t& byte = rows[y * rb + (x >> 3)];
        const auto bit = static_cast<uint8_t>(0x80 >> (x & 7));
        byte = black ? byte | bit : byte & ~bit;
      };
      const int cx = width / 2, cy = height / 2;
      const double rx = width / 2.2 + 1, ry = height / 2.2 + 1;
      Bytes band;
      for (int y = 0; y < height; ++y) {
        if (kind == kNoise) break;
        if ((kind == kBands && y % uniform(1, 300) != 0 && y > 0) || (kind == kAllSame && y > 0)) {
          std::copy(rows.begin() + (y - 1) * rb, rows.begin() + y * rb, rows.begin() + y * rb);
          continue;
        }
        bool black = uniform(0, 1) != 0;
        int left = 0;
        for (int x = 0; x < width; ++x) {
          switch (kind) {
            case kSparse:
              set(x, y, uniform(0, 97) == 0);
              break;
            case kEllipse: {
              const double dx = (x - cx) / rx, dy = (y - cy) / ry, d = dx * dx + dy * dy;
              set(x, y, d < 1.0 && d > 0.5);
              break;
            }
            default:
              if (left-- == 0) {
                black = !black;
                left = uniform(0, 3) == 0 ? uniform(200, 700) : uniform(0, 70);
              }
              set(x, y, black);
          }
        }
      }
      const Bytes out = Compress(rows, width, height);
      const std::string where = "kind " + std::to_string(kind) + " " + std::to_string(width) + "x" +
                                std::to_string(height);
      ASSERT_EQ(out, testing::PlainCompressBitmap(rows.data(), width, height)) << where;
      const auto decoded = testing::DecodeClass2(out.data(), out.size(), width, height);
      ASSERT_TRUE(decoded.ok()) << where << ": " << decoded.error;
      ASSERT_EQ(decoded.rows, Masked(rows, width)) << where;
    }
  }
  EXPECT_EQ(count, 144);
}

// Entries that meet the 16384-byte staging limit exactly, and entries larger
// than the staging area, come out as if written straight to the output.
TEST(CompressBitmap, StagingIsInvisible) {
  struct Case {
    const char* name;
    int width;  // every entry is width - 1 bytes
    int height;
  } cases[] = {
      {"256 entries of 64 bytes make exactly 16384", 65, 300},
      {"129 entries of 127 bytes make exactly 16383", 128, 300},
      {"entries of 16382 bytes", 16383, 3},
      {"entries of 16383 bytes", 16384, 3},
      {"entries of 16384 bytes", 16385, 3},
      {"entries larger than the staging area", 20000, 4},
      {"widest row", 32767, 3},
  };
  for (const Case& c : cases) {
    Bytes rows;
    for (int y = 0; y < c.height; ++y) {
      // Single-pixel runs, and two more that differ from the row before.
      std::vector<int> runs = Alternating(c.width - 4, false);
      runs.push_back(1 + y % 3);
      runs.push_back(3 - y % 3);
      const Bytes row = FromRuns(runs);
      rows.insert(rows.end(), row.begin(), row.end());
    }
    const Bytes out = Compress(rows, c.width, c.height);
    EXPECT_EQ(out.size(), static_cast<std::size_t>(c.height) * (c.width - 1)) << c.name;
    EXPECT_EQ(out, testing::PlainCompressBitmap(rows.data(), c.width, c.height)) << c.name;
    EXPECT_TRUE(testing::DecodeClass2(out.data(), out.size(), c.width, c.height).ok()) << c.name;
  }
}

TEST(CompressBitmap, GivesNothingItCannotHold) {
  const Bytes rows = Repeat(FromRuns({0, 1, 1, 1, 1, 1}), 2);  // one entry: 1, 0, 1, 1, 1, 1, 1
  uint8_t out[16];
  EXPECT_EQ(CompressBitmap(rows.data(), 5, 2, out, sizeof out), 7u);
  EXPECT_EQ(CompressBitmap(rows.data(), 5, 2, out, 6), 0u) << "capacity too small";
  EXPECT_EQ(CompressBitmap(rows.data(), 0, 2, out, sizeof out), 0u) << "width 0";
  EXPECT_EQ(CompressBitmap(rows.data(), 5, 0, out, sizeof out), 0u) << "height 0";
  EXPECT_EQ(MaxCompressedSize(5, 2), 14u);
  EXPECT_EQ(MaxCompressedSize(-1, 2), 0u);
}

TEST(Class2Decoder, RejectsMalformedData) {
  struct Case {
    const char* name;
    Bytes data;
    int width, height;
    bool ok;
  } cases[] = {
      {"split runs", {0, 0xFF, 0x00, 0x2D}, 300, 1, true},
      {"zero runs count as colour changes", {0, 0, 0, 5}, 5, 1, true},
      {"run passes the width", {0, 3, 3}, 5, 1, false},
      {"row cut short", {0, 3}, 5, 1, false},
      {"no entry for the last row", {0, 5}, 5, 2, false},
      {"repeat past the height", {2, 5}, 5, 2, false},
      {"bytes after the last row", {0, 5, 0}, 5, 1, false},
      {"width 0", {}, 0, 0, false},
      {"too large", {}, 30000, 30000, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(testing::DecodeClass2(c.data.data(), c.data.size(), c.width, c.height).ok(), c.ok)
        << c.name;
}

}  // namespace
}  // namespace pclspool
