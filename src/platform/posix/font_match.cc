#include "platform/posix/font_match.h"

#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <memory>

#include "platform/posix/utf.h"

namespace pclspool::posix {

namespace {

constexpr BYTE kFixedPitch = 0x01;
constexpr BYTE kFamilyMask = 0xf0;
constexpr BYTE kFfRoman = 0x10;
constexpr BYTE kFfModern = 0x30;

// The generic family fontconfig knows for a LOGFONTW without a face name.
const char* GenericFamily(BYTE pitch_and_family) {
  if ((pitch_and_family & kFixedPitch) || (pitch_and_family & kFamilyMask) == kFfModern) {
    return "monospace";
  }
  if ((pitch_and_family & kFamilyMask) == kFfRoman) return "serif";
  return "sans-serif";
}

}  // namespace

std::u16string FaceName(const LOGFONTW& lf) {
  std::size_t n = 0;
  while (n < LF_FACESIZE - 1 && lf.lfFaceName[n] != 0) ++n;
  return std::u16string(lf.lfFaceName, n);
}

std::optional<FontFile> MatchFont(const LOGFONTW& lf) {
  // A configuration of our own for each lookup, destroyed with it: the
  // process-wide one of FcInit is never released and would hold memory to
  // the end, and a lookup per created font costs a few milliseconds.
  const std::unique_ptr<FcConfig, decltype(&FcConfigDestroy)> config(FcInitLoadConfigAndFonts(),
                                                                     &FcConfigDestroy);
  if (!config) return std::nullopt;
  const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> pattern(FcPatternCreate(),
                                                                        &FcPatternDestroy);
  if (!pattern) return std::nullopt;

  const std::u16string face = FaceName(lf);
  const std::string family = face.empty() ? GenericFamily(lf.lfPitchAndFamily) : Utf16ToUtf8(face);
  // FW_DONTCARE (0) is a normal weight; GDI's weights are OpenType's.
  const int weight = lf.lfWeight <= 0 ? 400 : static_cast<int>(std::min<LONG>(lf.lfWeight, 1000));
  FcPatternAddString(pattern.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, FcWeightFromOpenType(weight));
  FcPatternAddInteger(pattern.get(), FC_SLANT, lf.lfItalic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  // Only outlines can be scaled and rotated.
  FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config.get(), pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());

  FcResult result = FcResultNoMatch;
  const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> match(
      FcFontMatch(config.get(), pattern.get(), &result), &FcPatternDestroy);
  if (!match) return std::nullopt;
  FcChar8* path = nullptr;
  if (FcPatternGetString(match.get(), FC_FILE, 0, &path) != FcResultMatch || !path) {
    return std::nullopt;
  }
  int index = 0;
  if (FcPatternGetInteger(match.get(), FC_INDEX, 0, &index) != FcResultMatch) index = 0;
  // FreeType reads the index as fontconfig writes it, a variable font's
  // named instance in its high bits included.
  return FontFile{reinterpret_cast<const char*>(path), index};
}

}  // namespace pclspool::posix
