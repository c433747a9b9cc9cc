// PCL raster pages: the delta-row form, and what the writer sends read
// back as a printer reads it (PackBits and delta rows decoded).
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "pcl/pcl_raster.h"

namespace pclspool::pcl {
namespace {

std::vector<uint8_t> Unpack(const uint8_t* p, std::size_t n) {
  std::vector<uint8_t> out;
  std::size_t i = 0;
  while (i < n) {
    const auto h = static_cast<int8_t>(p[i++]);
    if (h >= 0) {
      out.insert(out.end(), p + i, p + i + h + 1);
      i += static_cast<std::size_t>(h) + 1;
    } else if (h != -128) {
      out.insert(out.end(), static_cast<std::size_t>(1 - h), p[i++]);
    }
  }
  return out;
}

TEST(DeltaRow, EncodesTheChangesFromTheSeed) {
  const std::vector<uint8_t> seed(300, 0);
  const auto changed = [&](std::vector<std::pair<std::size_t, uint8_t>> bytes) {
    std::vector<uint8_t> row = seed;
    for (const auto& [at, v] : bytes) row[at] = v;
    return row;
  };
  const struct {
    const char* name;
    std::vector<uint8_t> row;
    std::vector<uint8_t> want;
  } cases[] = {
      {"equal to the seed: nothing", seed, {}},
      {"one byte at the start", changed({{0, 7}}), {0x00, 7}},
      {"two changes, offset from the end of the first", changed({{2, 1}, {5, 2}}),
       {0x02, 1, 0x02, 2}},
      {"nine changed bytes: eight, then one", changed({{0, 1}, {1, 1}, {2, 1}, {3, 1}, {4, 1},
                                                       {5, 1}, {6, 1}, {7, 1}, {8, 2}}),
       {0xE0, 1, 1, 1, 1, 1, 1, 1, 1, 0x00, 2}},
      {"offset 31 takes a byte more", changed({{31, 9}}), {0x1F, 0, 9}},
      {"offset 286: 31 + 255 + 0", changed({{286, 9}}), {0x1F, 255, 0, 9}},
  };
  for (const auto& c : cases) {
    std::vector<uint8_t> out(PclRasterWriter::DeltaRowBound(seed.size()));
    out.resize(PclRasterWriter::DeltaRow(c.row.data(), seed.data(), seed.size(), out.data()));
    EXPECT_EQ(out, c.want) << c.name;
  }
}

// What a printer makes of the writer's output: the raster commands it
// uses, painted on a canvas of dots (one raster pixel a dot).
struct Canvas {
  int32_t width, height;
  std::vector<uint8_t> dots;  // 1 = black
  bool At(int32_t x, int32_t y) const { return dots[static_cast<std::size_t>(y) * width + x]; }
};

// Applies a delta row (mode 3) to the seed row.
void Undelta(const uint8_t* p, std::size_t n, std::vector<uint8_t>& seed) {
  std::size_t at = 0;
  for (std::size_t i = 0; i < n;) {
    const std::size_t count = (p[i] >> 5) + 1;
    std::size_t offset = p[i++] & 31;
    if (offset == 31) {
      while (p[i] == 255) offset += p[i++];
      offset += p[i++];
    }
    at += offset;
    for (std::size_t k = 0; k < count; ++k, ++at) {
      if (at < seed.size()) seed[at] = p[i + k];
    }
    i += count;
  }
}

Canvas Print(const std::string& pcl, int32_t width, int32_t height) {
  Canvas c{width, height, std::vector<uint8_t>(static_cast<std::size_t>(width) * height)};
  int64_t x = 0, y = 0, raster_width = 0, raster_height = 0, rx = 0, ry = 0, rows = 0, mode = 0;
  bool raster = false;
  std::vector<uint8_t> seed;
  std::size_t i = 0;
  while (i < pcl.size()) {
    EXPECT_EQ(pcl[i], '\x1B') << "stray byte at " << i;
    if (pcl[i] != '\x1B' || i + 3 >= pcl.size() || pcl[i + 1] != '*') return c;
    const char group = pcl[i + 2];
    std::size_t j = i + 3;
    int64_t v = 0;
    while (std::isdigit(static_cast<unsigned char>(pcl[j]))) v = v * 10 + (pcl[j++] - '0');
    const std::string command = std::string(1, group) + pcl[j];
    i = j + 1;
    if (command == "pX") x = v;
    else if (command == "pY") y = v;
    else if (command == "rS") raster_width = v;
    else if (command == "rT") raster_height = v;
    else if (command == "bM") mode = v;
    else if (command == "rA") {
      raster = true, rx = x, ry = y, rows = 0;
      seed.assign(static_cast<std::size_t>(raster_width + 7) / 8, 0);
    } else if (command == "rC") {
      raster = false;
    } else if (command == "bY") {
      ry += v, rows += v;
      std::fill(seed.begin(), seed.end(), 0);
    } else if (command == "bW") {
      EXPECT_TRUE(raster);
      const auto* data = reinterpret_cast<const uint8_t*>(pcl.data() + i);
      if (mode == 2) {
        // A short row is white to its end.
        std::vector<uint8_t> unpacked = Unpack(data, static_cast<std::size_t>(v));
        unpacked.resize(seed.size());
        seed = unpacked;
      } else {
        EXPECT_EQ(mode, 3);
        Undelta(data, static_cast<std::size_t>(v), seed);
      }
      const std::vector<uint8_t>& row = seed;
      i += static_cast<std::size_t>(v);
      for (int64_t k = 0; k < raster_width && k / 8 < static_cast<int64_t>(row.size()); ++k) {
        if (rows < raster_height && (row[k / 8] >> (7 - k % 8) & 1) && rx + k < width && ry < height)
          c.dots[ry * width + rx + k] = 1;
      }
      ++ry, ++rows;
    } else if (command != "tR") {
      ADD_FAILURE() << "unexpected command " << command;
    }
  }
  EXPECT_FALSE(raster) << "raster not ended";
  return c;
}

struct Collect final : ByteSink {
  std::string bytes;
  std::size_t pieces = 0;
  std::size_t largest = 0;
  void Put(const uint8_t* data, std::size_t size) override {
    bytes.append(reinterpret_cast<const char*>(data), size);
    ++pieces;
    largest = std::max(largest, size);
  }
};

TEST(PclRasterWriter, PagesReadBackAsPlaced) {
  const struct {
    const char* name;
    int32_t row_columns, page_rows;
    RasterPlacement placement;
  } cases[] = {
      {"whole rows at the origin", 40, 30, {0, 0, 0, 40, 30}},
      {"placed away from the origin", 40, 30, {17, 5, 0, 40, 30}},
      {"a whole byte cut off on the left", 40, 30, {0, 0, 8, 32, 30}},
      {"three columns cut off: rows shifted", 43, 30, {3, 2, 3, 40, 30}},
      {"cut on both sides, odd width", 61, 30, {0, 0, 13, 29, 30}},
      {"rows beyond the placement dropped", 40, 30, {0, 0, 0, 40, 12}},
      {"rows wider than a buffer's worth", 32767, 70, {0, 0, 5, 32762, 70}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t row_bytes = (static_cast<std::size_t>(c.row_columns) + 7) / 8;
    std::mt19937 gen(3);
    std::vector<std::vector<uint8_t>> rows(c.page_rows, std::vector<uint8_t>(row_bytes));
    for (int32_t r = 0; r < c.page_rows; ++r) {
      // White rows at the start, in the middle and at the end; white at
      // the end of other rows; rows equal to the one before, or nearly,
      // or to the one before a white row; runs and noise in the rest.
      if (r < 2 || r % 7 == 3 || r >= c.page_rows - 2) continue;
      if (r % 7 == 4) {
        rows[r] = rows[r - 2];  // as before the white row
        continue;
      }
      if (r % 5 == 1) {
        rows[r] = rows[r - 1];
        if (r % 2 == 0) rows[r][row_bytes / 3] ^= 0x5A;
        continue;
      }
      // Runs longer than a PackBits piece on every third row.
      for (std::size_t b = 0; b < row_bytes * 3 / 4; ++b)
        rows[r][b] = r % 3 == 0 && b >= 100 && b < 400 ? 0
                     : b % 50 < 20                     ? 0xFF
                                                       : static_cast<uint8_t>(gen());
    }
    Collect sink;
    PclRasterWriter writer(sink);
    writer.Begin(c.placement, 600, c.row_columns);
    for (const auto& row : rows) writer.Row(row.data());
    writer.End();
    EXPECT_LE(sink.largest, PclRasterWriter::kBufferBytes);

    const RasterPlacement& p = c.placement;
    const Canvas got = Print(sink.bytes, p.x + p.columns + 8, p.y + c.page_rows + 8);
    int mismatches = 0;
    for (int32_t y = 0; y < got.height; ++y) {
      for (int32_t x = 0; x < got.width; ++x) {
        const int32_t sx = x - p.x + p.skipColumns;
        const int32_t sy = y - p.y;
        const bool want = x >= p.x && x < p.x + p.columns && sy >= 0 && sy < p.rows &&
                          (rows[sy][sx / 8] >> (7 - sx % 8) & 1);
        mismatches += got.At(x, y) != want;
      }
    }
    EXPECT_EQ(mismatches, 0);
  }
}

}  // namespace
}  // namespace pclspool::pcl
