// GDI text services on FreeType and fontconfig: a screen context, fonts
// created from a LOGFONTW, text metrics and extents, and glyph bitmaps in
// the GGO_BITMAP form, rotated by a MAT2, with GDI's metrics.
//
// The results reproduce those of Wine's GDI, whose text engine also runs on
// FreeType: for the same font file, the same TEXTMETRICW, extents,
// GLYPHMETRICS and bitmaps, to the pixel (tests/text_freetype_test.cc and
// the Wine suite compare them). Wine's sources were read to learn which
// results GDI gives; this code is our own, written from those results and
// FreeType's documentation.
//
// Every GetDC hands out a screen context of its own, with the stock system
// font selected; fonts are handles that any context may select. One mutex
// serialises all calls, FreeType's and fontconfig's included.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <string>

#include "platform/platform.h"
#include "platform/posix/font_match.h"

struct FT_LibraryRec_;

namespace pclspool::posix {

class FreeTypeFont;

class PosixText final : public platform::Text {
 public:
  PosixText();
  ~PosixText() override;

  // LOGPIXELSX of the screen context; 96 unless set.
  void SetLogPixels(int dpi);
  // The font file for a face name, bypassing fontconfig. Face names compare
  // as GDI compares them: ASCII letters without regard to case, the first
  // LF_FACESIZE - 1 characters.
  void MapFace(const std::u16string& face, const std::string& file);
  // The stock SYSTEM_FONT's LOGFONTW; a Windows screen's unless set.
  void SetSystemFont(const LOGFONTW& font);

  HDC GetDC() override;
  int ReleaseDC(HDC dc) override;
  int GetDeviceCaps(HDC dc, int index) override;
  BOOL GetSystemFont(LOGFONTW* font) override;
  // nullptr when no font file can be found or loaded for the LOGFONTW.
  HGDIOBJ CreateFontIndirectW(const LOGFONTW* font) override;
  HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) override;
  BOOL DeleteObject(HGDIOBJ object) override;
  BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics) override;
  BOOL GetTextExtentPoint32W(HDC dc, const WCHAR* text, int count, SIZE* size) override;
  DWORD GetGlyphOutlineW(HDC dc, UINT ch, UINT format, GLYPHMETRICS* metrics, DWORD cb, void* buf,
                         const MAT2* matrix) override;

 private:
  struct FontObject;
  struct ScreenDc;

  // The LOGFONTW fields fontconfig's answer depends on.
  struct MatchKey {
    std::u16string face;
    LONG weight;
    BYTE italic;
    BYTE pitch_and_family;
    bool operator<(const MatchKey& o) const;
  };

  std::unique_ptr<FreeTypeFont> Realize(const LOGFONTW& lf);
  FontObject* FindFont(HGDIOBJ object);
  ScreenDc* FindDc(HDC dc);
  // The realized font selected into dc, realizing the stock font on demand.
  FreeTypeFont* SelectedFont(HDC dc);
  void Deselect(FontObject* font);

  std::mutex mu_;
  int log_pixels_ = 96;
  LOGFONTW system_font_;
  std::map<std::u16string, std::string> face_files_;  // by folded face name
  // fontconfig's answers so far. Loading its configuration costs a few
  // milliseconds, and a booklet job creates the watermark font at every
  // page, so each request is looked up once; a font installed later is not
  // seen by a request answered before (one whose file has gone is asked
  // afresh).
  std::map<MatchKey, FontFile> matches_;
  FT_LibraryRec_* library_ = nullptr;
  bool library_failed_ = false;
  std::unique_ptr<FontObject> stock_font_;
  std::map<HGDIOBJ, std::unique_ptr<FontObject>> fonts_;
  std::map<HDC, std::unique_ptr<ScreenDc>> dcs_;
};

}  // namespace pclspool::posix
