// Placeholder until the FreeType rasteriser lands: a screen context and the
// system font, but no fonts.
#include "platform/posix/posix_text.h"

#include <cstring>

namespace pclspool::posix {

namespace {

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

int g_screen;  // the screen context's identity

}  // namespace

PosixText::PosixText() : system_font_(ScreenSystemFont()) {}
PosixText::~PosixText() = default;

void PosixText::SetLogPixels(int dpi) {
  std::lock_guard lock(mu_);
  log_pixels_ = dpi;
}

void PosixText::MapFace(const std::u16string& face, const std::string& file) {
  std::lock_guard lock(mu_);
  face_files_[face] = file;
}

void PosixText::SetSystemFont(const LOGFONTW& font) {
  std::lock_guard lock(mu_);
  system_font_ = font;
}

HDC PosixText::GetDC() { return &g_screen; }
int PosixText::ReleaseDC(HDC) { return 1; }

int PosixText::GetDeviceCaps(HDC, int index) {
  std::lock_guard lock(mu_);
  return index == LOGPIXELSX ? log_pixels_ : 0;
}

BOOL PosixText::GetSystemFont(LOGFONTW* font) {
  std::lock_guard lock(mu_);
  *font = system_font_;
  return kTrue;
}

HGDIOBJ PosixText::CreateFontIndirectW(const LOGFONTW*) { return nullptr; }
HGDIOBJ PosixText::SelectObject(HDC, HGDIOBJ) { return nullptr; }
BOOL PosixText::DeleteObject(HGDIOBJ) { return kFalse; }
BOOL PosixText::GetTextMetricsW(HDC, TEXTMETRICW*) { return kFalse; }
BOOL PosixText::GetTextExtentPoint32W(HDC, const WCHAR*, int, SIZE*) { return kFalse; }
DWORD PosixText::GetGlyphOutlineW(HDC, UINT, UINT, GLYPHMETRICS*, DWORD, void*,
                                  const MAT2*) {
  return GDI_ERROR;
}

}  // namespace pclspool::posix
