#include "glyph_set.h"

#include <cstring>
#include <set>

#include "platform/posix/posix_text.h"
#include "watermark/watermark_geometry.h"

namespace pclspool::bench {

namespace {

constexpr int kScreenDpi = 96;
constexpr int kAngle = 45;
constexpr std::size_t kClass2RowBytes = 20;

LOGFONTW ArialAt(int32_t height, LONG weight) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  const char16_t face[] = u"Arial";
  std::memcpy(lf.lfFaceName, face, sizeof(face));
  return lf;
}

}  // namespace

std::string TestFontPath() {
  return std::string(PCLSPOOL_TEST_DATA) + "/LiberationSans-Regular.ttf";
}

std::vector<GlyphBitmap> RenderWatermarkGlyphs(int dpi) {
  struct Size {
    int32_t screen_height;
    LONG weight;
  };
  static constexpr Size kSizes[] = {{-50, 400}, {-80, 400}, {-96, 700}};

  posix::PosixText text;
  text.MapFace(u"Arial", TestFontPath());
  const HDC dc = text.GetDC();
  const MAT2 rotation = MakeRotationMatrix(kAngle);
  std::vector<GlyphBitmap> glyphs;
  std::vector<uint8_t> buf;
  for (const Size& size : kSizes) {
    const LOGFONTW lf = ArialAt(FontHeightInDots(size.screen_height, dpi, kScreenDpi), size.weight);
    const HGDIOBJ font = text.CreateFontIndirectW(&lf);
    if (!font) return {};
    const HGDIOBJ previous = text.SelectObject(dc, font);
    std::set<char16_t> done;
    for (const char16_t* p = kWatermarkText; *p; ++p) {
      if (!done.insert(*p).second) continue;
      GLYPHMETRICS gm{};
      const DWORD n = text.GetGlyphOutlineW(dc, *p, GGO_BITMAP, &gm, 0, nullptr, &rotation);
      if (n == GDI_ERROR || n == 0) continue;
      buf.assign(n, 0);
      if (text.GetGlyphOutlineW(dc, *p, GGO_BITMAP, &gm, n, buf.data(), &rotation) != n) continue;
      GlyphBitmap g;
      g.width = static_cast<int>(gm.gmBlackBoxX);
      g.height = static_cast<int>(gm.gmBlackBoxY);
      const std::size_t row_bytes = (static_cast<std::size_t>(g.width) + 7) / 8;
      const std::size_t stride = (static_cast<std::size_t>(g.width) + 31) / 32 * 4;
      if (row_bytes < kClass2RowBytes) continue;
      g.rows.resize(row_bytes * static_cast<std::size_t>(g.height));
      for (int y = 0; y < g.height; ++y)
        std::memcpy(g.rows.data() + y * row_bytes, buf.data() + y * stride, row_bytes);
      glyphs.push_back(std::move(g));
    }
    text.SelectObject(dc, previous);
    text.DeleteObject(font);
  }
  text.ReleaseDC(dc);
  return glyphs;
}

GlyphBitmap AlternatingBitmap(int width, int height) {
  GlyphBitmap g;
  g.width = width;
  g.height = height;
  const std::size_t row_bytes = (static_cast<std::size_t>(width) + 7) / 8;
  g.rows.resize(row_bytes * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y)
    std::memset(g.rows.data() + y * row_bytes, y % 2 == 0 ? 0xAA : 0x55, row_bytes);
  return g;
}

std::size_t TotalBytes(const std::vector<GlyphBitmap>& glyphs) {
  std::size_t n = 0;
  for (const GlyphBitmap& g : glyphs) n += g.rows.size();
  return n;
}

}  // namespace pclspool::bench
