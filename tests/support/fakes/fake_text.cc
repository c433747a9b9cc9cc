#include "support/fakes/fake_text.h"

#include <algorithm>
#include <cstring>

namespace pclspool::testing {

namespace {
HDC Screen() { return reinterpret_cast<HDC>(uintptr_t{0x5C0}); }
}  // namespace

ScriptedGlyph InkedGlyph(UINT width, UINT height, int16_t incX, int16_t incY) {
  ScriptedGlyph g;
  g.metrics.gmBlackBoxX = width;
  g.metrics.gmBlackBoxY = height;
  g.metrics.gmptGlyphOrigin = POINT{1, static_cast<LONG>(height)};
  g.metrics.gmCellIncX = incX;
  g.metrics.gmCellIncY = incY;
  const std::size_t stride = (width + 31) / 32 * 4;
  g.bitmap.assign(stride * height, 0);
  for (std::size_t row = 0; row < height; ++row) {
    for (std::size_t bit = 0; bit < width; ++bit) {
      g.bitmap[row * stride + bit / 8] |= static_cast<uint8_t>(0x80 >> (bit % 8));
    }
  }
  return g;
}

ScriptedGlyph BlankGlyph(int16_t incX, int16_t incY) {
  ScriptedGlyph g;
  g.metrics.gmBlackBoxX = 1;
  g.metrics.gmBlackBoxY = 1;
  g.metrics.gmCellIncX = incX;
  g.metrics.gmCellIncY = incY;
  return g;
}

std::u16string FakeText::Rendered() const {
  std::u16string chars;
  for (const GlyphRequest& r : glyph_requests)
    if (!r.with_buffer) chars += r.ch;
  return chars;
}

HDC FakeText::GetDC() {
  if (fail_get_dc) return nullptr;
  ++dcs_held;
  return Screen();
}

int FakeText::ReleaseDC(HDC dc) {
  if (dc != Screen()) return 0;
  --dcs_held;
  return 1;
}

int FakeText::GetDeviceCaps(HDC dc, int index) {
  return dc == Screen() && index == LOGPIXELSX ? log_pixels : 0;
}

BOOL FakeText::GetSystemFont(LOGFONTW* font) {
  *font = LOGFONTW{};
  font->lfHeight = 16;
  font->lfWeight = 700;
  const char16_t face[] = u"System";
  std::memcpy(font->lfFaceName, face, sizeof(face));
  return kTrue;
}

HGDIOBJ FakeText::CreateFontIndirectW(const LOGFONTW* font) {
  fonts_created.push_back(*font);
  if (fail_create_font) return nullptr;
  ++fonts_live;
  return reinterpret_cast<HGDIOBJ>(next_font_++);
}

HGDIOBJ FakeText::SelectObject(HDC dc, HGDIOBJ object) {
  if (fail_select || dc != Screen() || !object) return nullptr;
  HGDIOBJ previous = selected;
  selected = object;
  return previous;
}

BOOL FakeText::DeleteObject(HGDIOBJ object) {
  // GDI refuses to delete a font that is still selected.
  if (!object || object == selected || object == kStockFont) return kFalse;
  --fonts_live;
  return kTrue;
}

BOOL FakeText::GetTextMetricsW(HDC dc, TEXTMETRICW* tm) {
  if (fail_metrics || dc != Screen() || selected == kStockFont) return kFalse;
  *tm = metrics;
  return kTrue;
}

BOOL FakeText::GetTextExtentPoint32W(HDC dc, const WCHAR* text, int count, SIZE* size) {
  texts_measured.emplace_back(text, static_cast<std::size_t>(std::max(count, 0)));
  if (fail_extent || dc != Screen()) return kFalse;
  *size = extent;
  return kTrue;
}

DWORD FakeText::GetGlyphOutlineW(HDC dc, UINT ch, UINT format, GLYPHMETRICS* gm, DWORD cb,
                                 void* buf, const MAT2* matrix) {
  glyph_requests.push_back(GlyphRequest{static_cast<char16_t>(ch), format, cb,
                                        buf != nullptr && cb != 0, matrix ? *matrix : MAT2{}});
  if (dc != Screen() || format != GGO_BITMAP) return GDI_ERROR;
  auto it = glyphs.find(static_cast<char16_t>(ch));
  const ScriptedGlyph* g = it != glyphs.end() ? &it->second : any_glyph ? &*any_glyph : nullptr;
  if (!g) return GDI_ERROR;
  *gm = g->metrics;
  const auto size = static_cast<DWORD>(g->bitmap.size());
  if (!buf || cb == 0) return size;
  if (cb < size) return GDI_ERROR;
  std::memcpy(buf, g->bitmap.data(), size);
  return size;
}

}  // namespace pclspool::testing
