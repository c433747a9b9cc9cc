#include "platform/posix/posix_text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstring>
#include <tuple>

#include "platform/posix/font_match.h"
#include "platform/posix/freetype_font.h"

namespace pclspool::posix {

namespace {

constexpr int kLogPixelsY = 90;

// The stock SYSTEM_FONT of a Windows screen.
LOGFONTW ScreenSystemFont() {
  LOGFONTW f{};
  f.lfHeight = 16;
  f.lfWidth = 7;
  f.lfWeight = 700;
  f.lfCharSet = 0;
  f.lfPitchAndFamily = 0x22;
  const char16_t face[] = u"System";
  std::memcpy(f.lfFaceName, face, sizeof(face));
  return f;
}

bool SameLogFont(const LOGFONTW& a, const LOGFONTW& b) {
  return std::memcmp(&a, &b, sizeof(LOGFONTW)) == 0;
}

// A face name as GDI compares it: ASCII letters folded to lower case.
std::u16string FoldFace(std::u16string face) {
  if (face.size() > LF_FACESIZE - 1) face.resize(LF_FACESIZE - 1);
  for (char16_t& c : face) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return face;
}

}  // namespace

struct PosixText::FontObject {
  LOGFONTW lf{};
  std::unique_ptr<FreeTypeFont> font;
  int selections = 0;           // contexts it is selected into
  bool delete_pending = false;  // deleted while selected: freed when deselected
};

struct PosixText::ScreenDc {
  FontObject* font = nullptr;
};

PosixText::PosixText()
    : system_font_(ScreenSystemFont()), stock_font_(std::make_unique<FontObject>()) {}

PosixText::~PosixText() {
  // Every FreeType face goes before the library that made it.
  dcs_.clear();
  fonts_.clear();
  stock_font_.reset();
  if (library_) FT_Done_FreeType(library_);
}

void PosixText::SetLogPixels(int dpi) {
  std::lock_guard lock(mu_);
  log_pixels_ = dpi;
}

void PosixText::MapFace(const std::u16string& face, const std::string& file) {
  std::lock_guard lock(mu_);
  face_files_[FoldFace(face)] = file;
}

void PosixText::SetSystemFont(const LOGFONTW& font) {
  std::lock_guard lock(mu_);
  system_font_ = font;
}

std::unique_ptr<FreeTypeFont> PosixText::Realize(const LOGFONTW& lf) {
  if (!library_ && !library_failed_) {
    if (FT_Init_FreeType(&library_) != 0) {
      library_ = nullptr;
      library_failed_ = true;
    }
  }
  if (!library_) return nullptr;
  // A mapped face uses its file and nothing else, even when that fails.
  const auto mapped = face_files_.find(FoldFace(FaceName(lf)));
  if (mapped != face_files_.end()) return FreeTypeFont::Open(library_, mapped->second, 0, lf);
  const MatchKey key{FaceName(lf), lf.lfWeight, lf.lfItalic, lf.lfPitchAndFamily};
  const auto known = matches_.find(key);
  if (known != matches_.end()) {
    auto font = FreeTypeFont::Open(library_, known->second.path, known->second.face_index, lf);
    if (font) return font;
    // The file has gone or changed since: ask fontconfig afresh.
    matches_.erase(known);
  }
  const std::optional<FontFile> file = MatchFont(lf);
  if (!file) return nullptr;
  auto font = FreeTypeFont::Open(library_, file->path, file->face_index, lf);
  if (font) matches_[key] = *file;
  return font;
}

bool PosixText::MatchKey::operator<(const MatchKey& o) const {
  return std::tie(face, weight, italic, pitch_and_family) <
         std::tie(o.face, o.weight, o.italic, o.pitch_and_family);
}

PosixText::FontObject* PosixText::FindFont(HGDIOBJ object) {
  if (object == stock_font_.get()) return stock_font_.get();
  const auto it = fonts_.find(object);
  if (it == fonts_.end() || it->second->delete_pending) return nullptr;
  return it->second.get();
}

PosixText::ScreenDc* PosixText::FindDc(HDC dc) {
  const auto it = dcs_.find(dc);
  return it == dcs_.end() ? nullptr : it->second.get();
}

FreeTypeFont* PosixText::SelectedFont(HDC dc) {
  ScreenDc* screen = FindDc(dc);
  if (!screen) return nullptr;
  FontObject* font = screen->font;
  if (font == stock_font_.get() && (!font->font || !SameLogFont(font->lf, system_font_))) {
    font->lf = system_font_;
    font->font = Realize(system_font_);
  }
  return font->font.get();
}

void PosixText::Deselect(FontObject* font) {
  if (font == stock_font_.get()) return;
  if (--font->selections == 0 && font->delete_pending) fonts_.erase(font);
}

HDC PosixText::GetDC() {
  std::lock_guard lock(mu_);
  auto screen = std::make_unique<ScreenDc>();
  screen->font = stock_font_.get();
  HDC dc = screen.get();
  dcs_[dc] = std::move(screen);
  return dc;
}

int PosixText::ReleaseDC(HDC dc) {
  std::lock_guard lock(mu_);
  ScreenDc* screen = FindDc(dc);
  if (!screen) return 0;
  Deselect(screen->font);
  dcs_.erase(dc);
  return 1;
}

int PosixText::GetDeviceCaps(HDC dc, int index) {
  std::lock_guard lock(mu_);
  if (!FindDc(dc)) return 0;
  return index == LOGPIXELSX || index == kLogPixelsY ? log_pixels_ : 0;
}

BOOL PosixText::GetSystemFont(LOGFONTW* font) {
  std::lock_guard lock(mu_);
  if (!font) return kFalse;
  *font = system_font_;
  return kTrue;
}

HGDIOBJ PosixText::CreateFontIndirectW(const LOGFONTW* font) {
  if (!font) return nullptr;
  std::lock_guard lock(mu_);
  auto object = std::make_unique<FontObject>();
  object->lf = *font;
  object->font = Realize(*font);
  if (!object->font) return nullptr;
  HGDIOBJ handle = object.get();
  fonts_[handle] = std::move(object);
  return handle;
}

HGDIOBJ PosixText::SelectObject(HDC dc, HGDIOBJ object) {
  std::lock_guard lock(mu_);
  ScreenDc* screen = FindDc(dc);
  FontObject* font = FindFont(object);
  if (!screen || !font) return nullptr;
  FontObject* previous = screen->font;
  if (font != stock_font_.get()) ++font->selections;
  screen->font = font;
  Deselect(previous);
  return previous;
}

BOOL PosixText::DeleteObject(HGDIOBJ object) {
  std::lock_guard lock(mu_);
  if (object == stock_font_.get()) return kTrue;  // stock objects stay
  const auto it = fonts_.find(object);
  if (it == fonts_.end() || it->second->delete_pending) return kFalse;
  if (it->second->selections > 0) {
    it->second->delete_pending = true;
  } else {
    fonts_.erase(it);
  }
  return kTrue;
}

BOOL PosixText::GetTextMetricsW(HDC dc, TEXTMETRICW* metrics) {
  std::lock_guard lock(mu_);
  FreeTypeFont* font = SelectedFont(dc);
  if (!font || !metrics) return kFalse;
  *metrics = font->TextMetrics();
  metrics->tmDigitizedAspectX = log_pixels_;
  metrics->tmDigitizedAspectY = log_pixels_;
  return kTrue;
}

BOOL PosixText::GetTextExtentPoint32W(HDC dc, const WCHAR* text, int count, SIZE* size) {
  std::lock_guard lock(mu_);
  FreeTypeFont* font = SelectedFont(dc);
  if (!font || !size || count < 0 || (count > 0 && !text)) return kFalse;
  if (count == 0) {
    *size = SIZE{0, 0};
    return kTrue;
  }
  // The sum of the advances; a glyph that cannot be loaded adds nothing.
  int64_t width = 0;
  for (int i = 0; i < count; ++i) {
    int64_t advance = 0;
    if (font->Advance(text[i], &advance)) width += advance;
  }
  const int64_t limit = 0x7fffffff;
  size->cx = static_cast<LONG>(std::clamp(width, -limit, limit));
  size->cy = font->TextMetrics().tmHeight;
  return kTrue;
}

DWORD PosixText::GetGlyphOutlineW(HDC dc, UINT ch, UINT format, GLYPHMETRICS* metrics, DWORD cb,
                                  void* buf, const MAT2* matrix) {
  std::lock_guard lock(mu_);
  if (format != GGO_BITMAP || !matrix) return GDI_ERROR;
  FreeTypeFont* font = SelectedFont(dc);
  if (!font) return GDI_ERROR;
  return font->GlyphBitmap(ch, *matrix, metrics, cb, buf);
}

}  // namespace pclspool::posix
