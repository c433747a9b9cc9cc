// GDI text services on FreeType and fontconfig: a screen context, fonts
// created from a LOGFONTW, text metrics and extents, and glyph bitmaps in
// the GGO_BITMAP form, rotated by a MAT2, with GDI's metrics.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "platform/platform.h"

namespace pclspool::posix {

class PosixText final : public platform::Text {
 public:
  PosixText();
  ~PosixText() override;

  // LOGPIXELSX of the screen context; 96 unless set.
  void SetLogPixels(int dpi);
  // The font file for a face name, bypassing fontconfig.
  void MapFace(const std::u16string& face, const std::string& file);
  // The stock SYSTEM_FONT's LOGFONTW; a Windows screen's unless set.
  void SetSystemFont(const LOGFONTW& font);

  HDC GetDC() override;
  int ReleaseDC(HDC dc) override;
  int GetDeviceCaps(HDC dc, int index) override;
  BOOL GetSystemFont(LOGFONTW* font) override;
  HGDIOBJ CreateFontIndirectW(const LOGFONTW* font) override;
  HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) override;
  BOOL DeleteObject(HGDIOBJ object) override;
  BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics) override;
  BOOL GetTextExtentPoint32W(HDC dc, const WCHAR* text, int count, SIZE* size) override;
  DWORD GetGlyphOutlineW(HDC dc, UINT ch, UINT format, GLYPHMETRICS* metrics, DWORD cb, void* buf,
                         const MAT2* matrix) override;

 private:
  std::mutex mu_;
  int log_pixels_ = 96;
  LOGFONTW system_font_;
  std::map<std::u16string, std::string> face_files_;
};

}  // namespace pclspool::posix
