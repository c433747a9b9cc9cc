// Records the module shares with the Win32 services it calls, laid out byte
// for byte as Windows lays them out, so that the Win32 layer can hand them
// over unchanged and the portable layers can fill them the same way.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pclspool {

using HANDLE = void*;
using DWORD = uint32_t;
using BOOL = int32_t;
using BYTE = uint8_t;
using WORD = uint16_t;
using WCHAR = char16_t;
using LONG = int32_t;
using UINT = uint32_t;
using HDC = void*;
using HGDIOBJ = void*;

inline constexpr BOOL kTrue = 1;
inline constexpr BOOL kFalse = 0;

// INVALID_HANDLE_VALUE: the all-ones handle.
inline HANDLE InvalidHandleValue() { return reinterpret_cast<HANDLE>(~uintptr_t{0}); }

struct DEVMODEW {
  WCHAR dmDeviceName[32];
  WORD dmSpecVersion;
  WORD dmDriverVersion;
  WORD dmSize;
  WORD dmDriverExtra;
  DWORD dmFields;
  int16_t dmOrientation;
  int16_t dmPaperSize;
  int16_t dmPaperLength;
  int16_t dmPaperWidth;
  int16_t dmScale;
  int16_t dmCopies;
  int16_t dmDefaultSource;
  int16_t dmPrintQuality;
  int16_t dmColor;
  int16_t dmDuplex;
  int16_t dmYResolution;
  int16_t dmTTOption;
  int16_t dmCollate;
  WCHAR dmFormName[32];
  WORD dmLogPixels;
  DWORD dmBitsPerPel;
  DWORD dmPelsWidth;
  DWORD dmPelsHeight;
  DWORD dmDisplayFlags;
  DWORD dmDisplayFrequency;
  DWORD dmICMMethod;
  DWORD dmICMIntent;
  DWORD dmMediaType;
  DWORD dmDitherType;
  DWORD dmReserved1;
  DWORD dmReserved2;
  DWORD dmPanningWidth;
  DWORD dmPanningHeight;
};
static_assert(sizeof(DEVMODEW) == 220);
static_assert(offsetof(DEVMODEW, dmSpecVersion) == 64);
static_assert(offsetof(DEVMODEW, dmDriverVersion) == 66);
static_assert(offsetof(DEVMODEW, dmSize) == 68);
static_assert(offsetof(DEVMODEW, dmDriverExtra) == 70);
static_assert(offsetof(DEVMODEW, dmOrientation) == 76);
static_assert(offsetof(DEVMODEW, dmPaperSize) == 78);
static_assert(offsetof(DEVMODEW, dmCopies) == 86);
static_assert(offsetof(DEVMODEW, dmDefaultSource) == 88);
static_assert(offsetof(DEVMODEW, dmYResolution) == 96);
static_assert(offsetof(DEVMODEW, dmLogPixels) == 166);

struct SYSTEMTIME {
  WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
};

struct PRINTER_INFO_2W {
  WCHAR* pServerName;
  WCHAR* pPrinterName;
  WCHAR* pShareName;
  WCHAR* pPortName;
  WCHAR* pDriverName;
  WCHAR* pComment;
  WCHAR* pLocation;
  DEVMODEW* pDevMode;
  WCHAR* pSepFile;
  WCHAR* pPrintProcessor;
  WCHAR* pDatatype;
  WCHAR* pParameters;
  void* pSecurityDescriptor;
  DWORD Attributes;
  DWORD Priority;
  DWORD DefaultPriority;
  DWORD StartTime;
  DWORD UntilTime;
  DWORD Status;
  DWORD cJobs;
  DWORD AveragePPM;
};

struct JOB_INFO_2W {
  DWORD JobId;
  WCHAR* pPrinterName;
  WCHAR* pMachineName;
  WCHAR* pUserName;
  WCHAR* pDocument;
  WCHAR* pNotifyName;
  WCHAR* pDatatype;
  WCHAR* pPrintProcessor;
  WCHAR* pParameters;
  WCHAR* pDriverName;
  DEVMODEW* pDevMode;
  WCHAR* pStatus;
  void* pSecurityDescriptor;
  DWORD Status;
  DWORD Priority;
  DWORD Position;
  DWORD StartTime;
  DWORD UntilTime;
  DWORD TotalPages;
  DWORD Size;
  SYSTEMTIME Submitted;
  DWORD Time;
  DWORD PagesPrinted;
};

inline constexpr int LF_FACESIZE = 32;

struct LOGFONTW {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  WCHAR lfFaceName[LF_FACESIZE];
};
static_assert(sizeof(LOGFONTW) == 92);

struct TEXTMETRICW {
  LONG tmHeight;
  LONG tmAscent;
  LONG tmDescent;
  LONG tmInternalLeading;
  LONG tmExternalLeading;
  LONG tmAveCharWidth;
  LONG tmMaxCharWidth;
  LONG tmWeight;
  LONG tmOverhang;
  LONG tmDigitizedAspectX;
  LONG tmDigitizedAspectY;
  WCHAR tmFirstChar;
  WCHAR tmLastChar;
  WCHAR tmDefaultChar;
  WCHAR tmBreakChar;
  BYTE tmItalic;
  BYTE tmUnderlined;
  BYTE tmStruckOut;
  BYTE tmPitchAndFamily;
  BYTE tmCharSet;
};
static_assert(sizeof(TEXTMETRICW) == 60);

struct POINT {
  LONG x;
  LONG y;
};

struct SIZE {
  LONG cx;
  LONG cy;
};

struct GLYPHMETRICS {
  UINT gmBlackBoxX;
  UINT gmBlackBoxY;
  POINT gmptGlyphOrigin;
  int16_t gmCellIncX;
  int16_t gmCellIncY;
};
static_assert(sizeof(GLYPHMETRICS) == 20);

// 16.16 fixed point: the low word is the fraction, the high word the value.
struct FIXED {
  WORD fract;
  int16_t value;
};

struct MAT2 {
  FIXED eM11;
  FIXED eM12;
  FIXED eM21;
  FIXED eM22;
};
static_assert(sizeof(MAT2) == 16);

inline constexpr UINT GGO_BITMAP = 1;
inline constexpr DWORD GDI_ERROR = 0xFFFFFFFFu;
inline constexpr int LOGPIXELSX = 88;

// DllMain reasons.
inline constexpr DWORD DLL_PROCESS_DETACH = 0;
inline constexpr DWORD DLL_PROCESS_ATTACH = 1;
inline constexpr DWORD DLL_THREAD_ATTACH = 2;
inline constexpr DWORD DLL_THREAD_DETACH = 3;

}  // namespace pclspool
