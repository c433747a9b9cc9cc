// GDI text services on the screen device context: the font rasteriser of the
// watermark. Records go to GDI as they stand (see win32_layout.h).
#include "platform/win32/win32_layout.h"
#include "platform/win32/win32_platform.h"

namespace pclspool::win32 {

pclspool::HDC Win32Text::GetDC() { return ::GetDC(nullptr); }

int Win32Text::ReleaseDC(pclspool::HDC dc) { return ::ReleaseDC(nullptr, static_cast<::HDC>(dc)); }

int Win32Text::GetDeviceCaps(pclspool::HDC dc, int index) {
  return ::GetDeviceCaps(static_cast<::HDC>(dc), index);
}

pclspool::BOOL Win32Text::GetSystemFont(pclspool::LOGFONTW* font) {
  const HGDIOBJ system = ::GetStockObject(SYSTEM_FONT);
  if (!system) return pclspool::kFalse;
  return ::GetObjectW(system, sizeof(::LOGFONTW), As<::LOGFONTW>(font)) == sizeof(::LOGFONTW)
             ? pclspool::kTrue
             : pclspool::kFalse;
}

pclspool::HGDIOBJ Win32Text::CreateFontIndirectW(const pclspool::LOGFONTW* font) {
  return ::CreateFontIndirectW(As<const ::LOGFONTW>(font));
}

pclspool::HGDIOBJ Win32Text::SelectObject(pclspool::HDC dc, pclspool::HGDIOBJ object) {
  return ::SelectObject(static_cast<::HDC>(dc), static_cast<::HGDIOBJ>(object));
}

pclspool::BOOL Win32Text::DeleteObject(pclspool::HGDIOBJ object) {
  return ::DeleteObject(static_cast<::HGDIOBJ>(object));
}

pclspool::BOOL Win32Text::GetTextMetricsW(pclspool::HDC dc, pclspool::TEXTMETRICW* metrics) {
  return ::GetTextMetricsW(static_cast<::HDC>(dc), As<::TEXTMETRICW>(metrics));
}

pclspool::BOOL Win32Text::GetTextExtentPoint32W(pclspool::HDC dc, const pclspool::WCHAR* text,
                                                int count, pclspool::SIZE* size) {
  return ::GetTextExtentPoint32W(static_cast<::HDC>(dc), Wide(text), count, As<::SIZE>(size));
}

pclspool::DWORD Win32Text::GetGlyphOutlineW(pclspool::HDC dc, pclspool::UINT ch,
                                            pclspool::UINT format, pclspool::GLYPHMETRICS* metrics,
                                            pclspool::DWORD cb, void* buf,
                                            const pclspool::MAT2* matrix) {
  return ::GetGlyphOutlineW(static_cast<::HDC>(dc), ch, format, As<::GLYPHMETRICS>(metrics), cb,
                            buf, As<const ::MAT2>(matrix));
}

}  // namespace pclspool::win32
