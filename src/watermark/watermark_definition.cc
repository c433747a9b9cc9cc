#include "watermark/watermark_definition.h"

#include <cstring>

#include "job/settings.h"
#include "platform/platform.h"

namespace pclspool {

namespace {

// The key names of [StringSummary], each ended by a NUL, the list by one
// more. The selected text points in here until the next selection.
char16_t g_key_list[kKeyListChars];

constexpr const char16_t* kSummarySection = u"StringSummary";

// The face used when a section names none, and its companions.
constexpr char16_t kDefaultFace[] = u"Arial";
constexpr LONG kDefaultHeight = -67;
constexpr LONG kDefaultWeight = 400;
constexpr BYTE kOutStrokePrecis = 3;
constexpr BYTE kClipStrokePrecis = 2;
constexpr BYTE kDraftQuality = 1;
constexpr BYTE kVariablePitchSwiss = 0x22;
// A named face without a "Height" gets this height, not the system font's.
constexpr LONG kNamedFaceHeight = -50;

LONG ReadLong(const char16_t* section, const char16_t* key, LONG def) {
  return static_cast<LONG>(
      platform::Get().profile->GetPrivateProfileIntW(section, key, def, kIniFile));
}

// A byte field: its value widened without sign is the default, the low 8
// bits of what is read are kept.
BYTE ReadByte(const char16_t* section, const char16_t* key, BYTE def) {
  return static_cast<BYTE>(
      platform::Get().profile->GetPrivateProfileIntW(section, key, def, kIniFile));
}

}  // namespace

const char16_t* SelectWatermarkText(uint16_t waterIdx) {
  // 0 is the job's "no watermark".
  if (waterIdx == 0) return nullptr;
  g_key_list[0] = 0;
  g_key_list[1] = 0;
  platform::Get().profile->GetPrivateProfileStringW(kSummarySection, nullptr, u"", g_key_list,
                                                    kKeyListChars, kIniFile);
  // The profile service ends a list it cut with two NULs; the last one is
  // forced so that the walk below can never leave the buffer.
  g_key_list[kKeyListChars - 1] = 0;

  const char16_t* const end = g_key_list + kKeyListChars - 1;
  const char16_t* name = g_key_list;
  for (uint32_t count = 1; count < waterIdx; ++count) {
    if (*name == 0) return nullptr;
    while (*name) ++name;
    ++name;  // past the NUL
    if (name >= end) return nullptr;
  }
  return *name ? name : nullptr;
}

WatermarkDefinition ReadWatermarkDefinition(const char16_t* text, LOGFONTW* font) {
  LOGFONTW& f = *font;
  if (!platform::Get().text->GetSystemFont(&f)) f = LOGFONTW{};
  f.lfHeight = kNamedFaceHeight;

  std::memset(f.lfFaceName, 0, sizeof(f.lfFaceName));
  if (text) {
    platform::Get().profile->GetPrivateProfileStringW(text, u"FaceName", u"", f.lfFaceName,
                                                      LF_FACESIZE, kIniFile);
  }
  f.lfFaceName[LF_FACESIZE - 1] = 0;

  if (f.lfFaceName[0] == 0) {
    // No face named: these values, whatever else the section holds.
    f.lfHeight = kDefaultHeight;
    f.lfWidth = 0;
    f.lfEscapement = 0;
    f.lfOrientation = 0;
    f.lfWeight = kDefaultWeight;
    f.lfItalic = 0;
    f.lfUnderline = 0;
    f.lfStrikeOut = 0;
    f.lfCharSet = 0;
    f.lfOutPrecision = kOutStrokePrecis;
    f.lfClipPrecision = kClipStrokePrecis;
    f.lfQuality = kDraftQuality;
    f.lfPitchAndFamily = kVariablePitchSwiss;
    std::memcpy(f.lfFaceName, kDefaultFace, sizeof(kDefaultFace));
    return {0, 0, 0, 1};
  }

  // Every key defaults to the field's current value, so a missing key
  // keeps the system font's (the height excepted, set above).
  f.lfHeight = ReadLong(text, u"Height", f.lfHeight);
  f.lfWidth = ReadLong(text, u"Width", f.lfWidth);
  f.lfEscapement = ReadLong(text, u"Escapement", f.lfEscapement);
  f.lfOrientation = ReadLong(text, u"Orientation", f.lfOrientation);
  f.lfWeight = ReadLong(text, u"Weight", f.lfWeight);
  f.lfItalic = ReadByte(text, u"Italic", f.lfItalic);
  f.lfUnderline = ReadByte(text, u"Underline", f.lfUnderline);
  f.lfStrikeOut = ReadByte(text, u"Strikeout", f.lfStrikeOut);
  f.lfCharSet = ReadByte(text, u"CharSet", f.lfCharSet);
  f.lfOutPrecision = ReadByte(text, u"OutPrecision", f.lfOutPrecision);
  f.lfClipPrecision = ReadByte(text, u"ClipPrecision", f.lfClipPrecision);
  f.lfQuality = ReadByte(text, u"Quality", f.lfQuality);
  f.lfPitchAndFamily = ReadByte(text, u"PitchAndFamily", f.lfPitchAndFamily);

  WatermarkDefinition def;
  def.dark = ReadLong(text, u"Dark", 0);
  def.xOffset = ReadLong(text, u"XOffset", 0);
  def.yOffset = ReadLong(text, u"YOffset", 0);
  def.centerToPage = ReadLong(text, u"CenterToPage", 1);
  return def;
}

}  // namespace pclspool
