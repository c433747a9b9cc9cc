// Class 2 compression of glyph bitmaps: CompressBitmap against the plain
// pixel-by-pixel encoder, on real watermark glyphs at 600 and 1200 dpi and
// on the alternating-pixel worst case.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "glyph_set.h"
#include "support/plain_class2.h"
#include "watermark/class2_encoder.h"

namespace pclspool::bench {

namespace {

const std::vector<GlyphBitmap>& Glyphs(int dpi) {
  static const std::vector<GlyphBitmap> g600 = RenderWatermarkGlyphs(600);
  static const std::vector<GlyphBitmap> g1200 = RenderWatermarkGlyphs(1200);
  return dpi == 600 ? g600 : g1200;
}

const std::vector<GlyphBitmap>& Alternating() {
  static const std::vector<GlyphBitmap> g = {AlternatingBitmap(1000, 1000)};
  return g;
}

const std::vector<GlyphBitmap>& Set(int which) {
  return which == 0 ? Alternating() : Glyphs(which);
}

struct Buffers {
  std::vector<uint8_t> out;
  std::vector<uint8_t> scratch;
  explicit Buffers(const std::vector<GlyphBitmap>& glyphs) {
    std::size_t most = 0, widest = 0;
    for (const GlyphBitmap& g : glyphs) {
      most = std::max(most, MaxCompressedSize(static_cast<int16_t>(g.width), g.height));
      widest = std::max<std::size_t>(widest, static_cast<std::size_t>(g.width));
    }
    out.resize(most);
    scratch.resize(2 * (widest + 1));
  }
};

std::size_t Ours(const GlyphBitmap& g, Buffers& b) {
  return CompressBitmap(g.rows.data(), static_cast<int16_t>(g.width), g.height, b.out.data(),
                        b.out.size());
}

std::size_t Baseline(const GlyphBitmap& g, Buffers& b) {
  return testing::PlainCompressBitmap(g.rows.data(), g.width, g.height, b.out.data(),
                                      b.scratch.data());
}

// Both encoders must give the same bytes, or the comparison means nothing.
bool SameOutput(const std::vector<GlyphBitmap>& glyphs) {
  Buffers a(glyphs), b(glyphs);
  for (const GlyphBitmap& g : glyphs) {
    const std::size_t n = Ours(g, a);
    if (n == 0 || n != Baseline(g, b) || std::memcmp(a.out.data(), b.out.data(), n) != 0)
      return false;
  }
  return true;
}

template <std::size_t (*Encode)(const GlyphBitmap&, Buffers&)>
void Compress(benchmark::State& state, int set) {
  const std::vector<GlyphBitmap>& glyphs = Set(set);
  if (glyphs.empty()) {
    state.SkipWithError("no glyphs: the test font could not be rendered");
    return;
  }
  if (!SameOutput(glyphs)) {
    state.SkipWithError("the encoders disagree");
    return;
  }
  Buffers buffers(glyphs);
  for (auto _ : state) {
    for (const GlyphBitmap& g : glyphs) benchmark::DoNotOptimize(Encode(g, buffers));
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * TotalBytes(glyphs)));
  state.counters["glyphs"] = static_cast<double>(glyphs.size());
}

}  // namespace

void RegisterClass2Benchmarks() {
  struct Input {
    const char* name;
    int set;
  };
  for (const Input& in :
       {Input{"glyphs600", 600}, Input{"glyphs1200", 1200}, Input{"alternating", 0}}) {
    const std::string name = std::string("class2/") + in.name;
    benchmark::RegisterBenchmark((name + "/ours").c_str(), Compress<Ours>, in.set);
    benchmark::RegisterBenchmark((name + "/baseline").c_str(), Compress<Baseline>, in.set);
  }
}

}  // namespace pclspool::bench
