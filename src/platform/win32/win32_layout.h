// The proof that our records and the Windows ones are one layout, and the
// casts that rely on it. Included only by the Win32 layer's .cc files, after
// which both sets of names are visible: ours are always qualified with
// pclspool::, the Windows ones with ::.
#pragma once

// Our records first: windows.h defines some of their constants' names
// (GGO_BITMAP, LOGPIXELSX, ...) as macros, which must not reach them.
#include "platform/win_types.h"

namespace pclspool::win32::ours {
inline constexpr auto kGgoBitmap = pclspool::GGO_BITMAP;
inline constexpr auto kGdiError = pclspool::GDI_ERROR;
inline constexpr auto kLogPixelsX = pclspool::LOGPIXELSX;
inline constexpr auto kFaceSize = pclspool::LF_FACESIZE;
inline constexpr auto kProcessAttach = pclspool::DLL_PROCESS_ATTACH;
inline constexpr auto kProcessDetach = pclspool::DLL_PROCESS_DETACH;
inline constexpr auto kThreadAttach = pclspool::DLL_THREAD_ATTACH;
inline constexpr auto kThreadDetach = pclspool::DLL_THREAD_DETACH;
}  // namespace pclspool::win32::ours

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winspool.h>

#include <cstddef>

namespace pclspool::win32 {

// Same size and the same offset for every field named: the record can be
// handed over by reinterpret_cast.
#define PCLSPOOL_SAME_SIZE(T) static_assert(sizeof(pclspool::T) == sizeof(::T), #T)
#define PCLSPOOL_SAME_FIELD(T, f) \
  static_assert(offsetof(pclspool::T, f) == offsetof(::T, f), #T "::" #f)

static_assert(sizeof(wchar_t) == sizeof(char16_t), "WCHAR is one UTF-16 code unit");
static_assert(sizeof(pclspool::DWORD) == sizeof(::DWORD));
static_assert(sizeof(pclspool::LONG) == sizeof(::LONG));
static_assert(sizeof(pclspool::BOOL) == sizeof(::BOOL));
static_assert(sizeof(pclspool::UINT) == sizeof(::UINT));

PCLSPOOL_SAME_SIZE(DEVMODEW);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmDeviceName);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmSpecVersion);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmDriverVersion);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmSize);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmDriverExtra);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmFields);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmOrientation);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmPaperSize);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmPaperLength);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmPaperWidth);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmScale);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmCopies);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmDefaultSource);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmPrintQuality);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmColor);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmDuplex);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmYResolution);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmTTOption);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmCollate);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmFormName);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmLogPixels);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmBitsPerPel);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmPelsWidth);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmPelsHeight);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmDisplayFlags);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmDisplayFrequency);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmICMMethod);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmMediaType);
PCLSPOOL_SAME_FIELD(DEVMODEW, dmPanningHeight);

PCLSPOOL_SAME_SIZE(SYSTEMTIME);

PCLSPOOL_SAME_SIZE(PRINTER_INFO_2W);
PCLSPOOL_SAME_FIELD(PRINTER_INFO_2W, pPortName);
PCLSPOOL_SAME_FIELD(PRINTER_INFO_2W, pDevMode);
PCLSPOOL_SAME_FIELD(PRINTER_INFO_2W, pSecurityDescriptor);
PCLSPOOL_SAME_FIELD(PRINTER_INFO_2W, Attributes);
PCLSPOOL_SAME_FIELD(PRINTER_INFO_2W, AveragePPM);

PCLSPOOL_SAME_SIZE(JOB_INFO_2W);
PCLSPOOL_SAME_FIELD(JOB_INFO_2W, JobId);
PCLSPOOL_SAME_FIELD(JOB_INFO_2W, pPrinterName);
PCLSPOOL_SAME_FIELD(JOB_INFO_2W, pDevMode);
PCLSPOOL_SAME_FIELD(JOB_INFO_2W, Status);
PCLSPOOL_SAME_FIELD(JOB_INFO_2W, Submitted);
PCLSPOOL_SAME_FIELD(JOB_INFO_2W, PagesPrinted);

PCLSPOOL_SAME_SIZE(LOGFONTW);
PCLSPOOL_SAME_FIELD(LOGFONTW, lfHeight);
PCLSPOOL_SAME_FIELD(LOGFONTW, lfEscapement);
PCLSPOOL_SAME_FIELD(LOGFONTW, lfWeight);
PCLSPOOL_SAME_FIELD(LOGFONTW, lfItalic);
PCLSPOOL_SAME_FIELD(LOGFONTW, lfCharSet);
PCLSPOOL_SAME_FIELD(LOGFONTW, lfPitchAndFamily);
PCLSPOOL_SAME_FIELD(LOGFONTW, lfFaceName);

PCLSPOOL_SAME_SIZE(TEXTMETRICW);
PCLSPOOL_SAME_FIELD(TEXTMETRICW, tmAscent);
PCLSPOOL_SAME_FIELD(TEXTMETRICW, tmAveCharWidth);
PCLSPOOL_SAME_FIELD(TEXTMETRICW, tmMaxCharWidth);
PCLSPOOL_SAME_FIELD(TEXTMETRICW, tmDigitizedAspectY);
PCLSPOOL_SAME_FIELD(TEXTMETRICW, tmFirstChar);
PCLSPOOL_SAME_FIELD(TEXTMETRICW, tmBreakChar);
PCLSPOOL_SAME_FIELD(TEXTMETRICW, tmItalic);
PCLSPOOL_SAME_FIELD(TEXTMETRICW, tmCharSet);

PCLSPOOL_SAME_SIZE(POINT);
PCLSPOOL_SAME_FIELD(POINT, y);
PCLSPOOL_SAME_SIZE(SIZE);
PCLSPOOL_SAME_FIELD(SIZE, cy);

PCLSPOOL_SAME_SIZE(GLYPHMETRICS);
PCLSPOOL_SAME_FIELD(GLYPHMETRICS, gmBlackBoxY);
PCLSPOOL_SAME_FIELD(GLYPHMETRICS, gmptGlyphOrigin);
PCLSPOOL_SAME_FIELD(GLYPHMETRICS, gmCellIncX);
PCLSPOOL_SAME_FIELD(GLYPHMETRICS, gmCellIncY);

PCLSPOOL_SAME_SIZE(FIXED);
PCLSPOOL_SAME_FIELD(FIXED, fract);
PCLSPOOL_SAME_FIELD(FIXED, value);
PCLSPOOL_SAME_SIZE(MAT2);
PCLSPOOL_SAME_FIELD(MAT2, eM12);
PCLSPOOL_SAME_FIELD(MAT2, eM21);
PCLSPOOL_SAME_FIELD(MAT2, eM22);

#undef PCLSPOOL_SAME_SIZE
#undef PCLSPOOL_SAME_FIELD

static_assert(ours::kGgoBitmap == GGO_BITMAP);
static_assert(ours::kGdiError == GDI_ERROR);
static_assert(ours::kLogPixelsX == LOGPIXELSX);
static_assert(ours::kFaceSize == LF_FACESIZE);
static_assert(ours::kProcessAttach == DLL_PROCESS_ATTACH);
static_assert(ours::kProcessDetach == DLL_PROCESS_DETACH);
static_assert(ours::kThreadAttach == DLL_THREAD_ATTACH);
static_assert(ours::kThreadDetach == DLL_THREAD_DETACH);

// Our record as the Windows one, and back; the layouts are checked above.
template <typename To, typename From>
To* As(From* p) {
  static_assert(sizeof(To) == sizeof(From));
  return reinterpret_cast<To*>(p);
}

inline const wchar_t* Wide(const char16_t* s) { return reinterpret_cast<const wchar_t*>(s); }
inline wchar_t* Wide(char16_t* s) { return reinterpret_cast<wchar_t*>(s); }

}  // namespace pclspool::win32
