// A scripted font rasteriser for the watermark tests: the test sets the
// screen resolution, the text metrics, the text extent and a bitmap per
// character, and reads back what the module asked for (the fonts created,
// the characters measured, every glyph request with its matrix) and
// whether every context, font and selection was given back.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "support/fakes/fake_platform.h"

namespace pclspool::testing {

struct ScriptedGlyph {
  GLYPHMETRICS metrics{};
  std::vector<uint8_t> bitmap;  // GGO_BITMAP rows, padded to 32 bits; empty for a blank
};

// A glyph of width x height pixels, every pixel inked, with its advance.
ScriptedGlyph InkedGlyph(UINT width, UINT height, int16_t incX, int16_t incY);
// A blank: metrics and an advance, no bitmap.
ScriptedGlyph BlankGlyph(int16_t incX, int16_t incY);

class FakeText final : public platform::Text {
 public:
  // --- the script ---
  int log_pixels = 96;
  TEXTMETRICW metrics{};
  SIZE extent{};
  // Characters neither listed here nor covered by any_glyph fail with
  // GDI_ERROR.
  std::map<char16_t, ScriptedGlyph> glyphs;
  std::optional<ScriptedGlyph> any_glyph;
  bool fail_get_dc = false;
  bool fail_create_font = false;
  bool fail_select = false;
  bool fail_metrics = false;
  bool fail_extent = false;

  // --- what was asked ---
  struct GlyphRequest {
    char16_t ch;
    UINT format;
    DWORD cb;
    bool with_buffer;
    MAT2 matrix;
  };
  std::vector<LOGFONTW> fonts_created;
  std::vector<std::u16string> texts_measured;
  std::vector<GlyphRequest> glyph_requests;
  // The characters whose size was asked for (buffer-less requests), in order.
  std::u16string Rendered() const;

  // --- what is held ---
  int dcs_held = 0;
  int fonts_live = 0;
  HGDIOBJ selected = kStockFont;  // the font selected into the screen context
  static inline const HGDIOBJ kStockFont = reinterpret_cast<HGDIOBJ>(uintptr_t{0x5F0});

  HDC GetDC() override;
  int ReleaseDC(HDC dc) override;
  int GetDeviceCaps(HDC dc, int index) override;
  BOOL GetSystemFont(LOGFONTW* font) override;
  HGDIOBJ CreateFontIndirectW(const LOGFONTW* font) override;
  HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) override;
  BOOL DeleteObject(HGDIOBJ object) override;
  BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* tm) override;
  BOOL GetTextExtentPoint32W(HDC dc, const WCHAR* text, int count, SIZE* size) override;
  DWORD GetGlyphOutlineW(HDC dc, UINT ch, UINT format, GLYPHMETRICS* gm, DWORD cb, void* buf,
                         const MAT2* matrix) override;

 private:
  uintptr_t next_font_ = 0x1000;
};

// A FakePlatform whose text services are a FakeText, installed for its
// scope; the FakePlatform's own services come back when it ends.
class FakeTextPlatform {
 public:
  FakePlatform fake;
  FakeText text;

  FakeTextPlatform() {
    services_ = fake.services;
    services_.text = &text;
    platform::Install(&services_);
  }
  ~FakeTextPlatform() { platform::Install(&fake.services); }
  FakeTextPlatform(const FakeTextPlatform&) = delete;
  FakeTextPlatform& operator=(const FakeTextPlatform&) = delete;

 private:
  platform::Platform services_{};
};

}  // namespace pclspool::testing
