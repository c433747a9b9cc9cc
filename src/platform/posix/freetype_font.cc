// GDI's results on FreeType. The arithmetic follows GDI's FreeType engine
// step by step, in FreeType's own fixed-point units (26.6 pixels, 16.16
// factors) and with its rounding (FT_MulFix, FT_MulDiv), so that the same
// font file gives the same metrics and bitmaps to the pixel.
#include "platform/posix/freetype_font.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_GLYPH_H
#include FT_OUTLINE_H
#include FT_BITMAP_H
#include FT_TRIGONOMETRY_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace pclspool::posix {

namespace {

constexpr BYTE kAnsiCharset = 0;
constexpr BYTE kDefaultCharset = 1;
constexpr BYTE kSymbolCharset = 2;

constexpr LONG kFwNormal = 400;
constexpr LONG kFwMedium = 500;
constexpr LONG kFwBold = 700;

// tmPitchAndFamily bits; TMPF_FIXED_PITCH set means a proportional font.
constexpr BYTE kTmpfFixedPitch = 0x01;
constexpr BYTE kTmpfVector = 0x02;
constexpr BYTE kTmpfTrueType = 0x04;
constexpr BYTE kTmpfDevice = 0x08;
constexpr BYTE kFfRoman = 0x10;
constexpr BYTE kFfSwiss = 0x20;
constexpr BYTE kFfModern = 0x30;
constexpr BYTE kFfScript = 0x40;
constexpr BYTE kFfDecorative = 0x50;

// PANOSE digits and values the pitch and family are read from.
constexpr int kPanFamilyType = 0;
constexpr int kPanSerifStyle = 1;
constexpr int kPanProportion = 3;
constexpr BYTE kPanFamilyScript = 3;
constexpr BYTE kPanFamilyDecorative = 4;
constexpr BYTE kPanPropMonospaced = 9;

FT_Fixed FixedFromDouble(double v) { return static_cast<FT_Fixed>(v * 65536.0); }

// The 16.16 number a FIXED holds, sign included.
FT_Fixed FixedFromFIXED(FIXED f) { return static_cast<FT_Fixed>(f.value) * 65536 + f.fract; }

bool IsIdentity(const MAT2& m) {
  return m.eM11.value == 1 && m.eM11.fract == 0 && m.eM12.value == 0 && m.eM12.fract == 0 &&
         m.eM21.value == 0 && m.eM21.fract == 0 && m.eM22.value == 1 && m.eM22.fract == 0;
}

// GDI rounds scaled metrics half up.
LONG GdiRound(double v) { return static_cast<LONG>(std::floor(v + 0.5)); }

bool HasSymbolCharmap(FT_Face face) {
  for (int i = 0; i < face->num_charmaps; ++i) {
    if (face->charmaps[i]->encoding == FT_ENCODING_MS_SYMBOL) return true;
  }
  return false;
}

bool HasUnicodeCharmap(FT_Face face) {
  for (int i = 0; i < face->num_charmaps; ++i) {
    if (face->charmaps[i]->encoding == FT_ENCODING_UNICODE) return true;
  }
  return false;
}

// Selects the face's charmap of this encoding, preferring the Microsoft
// platform, then Macintosh, ISO, Apple Unicode and any other.
bool SelectCharmap(FT_Face face, FT_Encoding encoding) {
  FT_CharMap by_platform[4] = {};
  FT_CharMap other = nullptr;
  for (int i = 0; i < face->num_charmaps; ++i) {
    FT_CharMap map = face->charmaps[i];
    if (map->encoding != encoding) continue;
    if (map->platform_id <= 3) {
      by_platform[map->platform_id] = map;
    } else {
      other = map;
    }
  }
  for (FT_CharMap map : {by_platform[3], by_platform[1], by_platform[2], by_platform[0], other}) {
    if (map) return FT_Set_Charmap(face, map) == 0;
  }
  return false;
}

// The box of the glyph's metrics transformed by matrix, widened to whole
// pixels (26.6).
FT_BBox TransformedBbox(const FT_Glyph_Metrics& metrics, const FT_Matrix* matrix) {
  FT_BBox bbox{};
  if (!matrix) {
    bbox.xMin = metrics.horiBearingX & -64;
    bbox.xMax = (metrics.horiBearingX + metrics.width + 63) & -64;
    bbox.yMax = (metrics.horiBearingY + 63) & -64;
    bbox.yMin = (metrics.horiBearingY - metrics.height) & -64;
    return bbox;
  }
  for (int xc = 0; xc < 2; ++xc) {
    for (int yc = 0; yc < 2; ++yc) {
      FT_Vector corner{metrics.horiBearingX + xc * metrics.width,
                       metrics.horiBearingY - yc * metrics.height};
      FT_Vector_Transform(&corner, matrix);
      if (xc == 0 && yc == 0) {
        bbox.xMin = bbox.xMax = corner.x;
        bbox.yMin = bbox.yMax = corner.y;
      } else {
        bbox.xMin = std::min(bbox.xMin, corner.x);
        bbox.xMax = std::max(bbox.xMax, corner.x);
        bbox.yMin = std::min(bbox.yMin, corner.y);
        bbox.yMax = std::max(bbox.yMax, corner.y);
      }
    }
  }
  bbox.xMin &= -64;
  bbox.xMax = (bbox.xMax + 63) & -64;
  bbox.yMin &= -64;
  bbox.yMax = (bbox.yMax + 63) & -64;
  return bbox;
}

// The unit vector of v, in 26.6.
FT_Vector Normalized(FT_Vector v) {
  const FT_Fixed len = FT_Vector_Length(&v);
  if (!len) return FT_Vector{0, 0};
  return FT_Vector{v.x * 64 / len, v.y * 64 / len};
}

// A big-endian reader over a font table that refuses reads past its end.
class TableReader {
 public:
  explicit TableReader(std::vector<FT_Byte> bytes) : bytes_(std::move(bytes)) {}
  bool Byte(std::size_t at, BYTE* out) const {
    if (at >= bytes_.size()) return false;
    *out = bytes_[at];
    return true;
  }
  bool Word(std::size_t at, uint16_t* out) const {
    if (at + 2 > bytes_.size()) return false;
    *out = static_cast<uint16_t>(bytes_[at] << 8 | bytes_[at + 1]);
    return true;
  }

 private:
  std::vector<FT_Byte> bytes_;
};

// The VDMX group for the screen's aspect ratio, 1:1 (a ratio record that
// covers it, or the one for any ratio): its offset in the table. False
// when there is none or the table is cut short.
bool FindVdmxGroup(const TableReader& t, std::size_t* group_at) {
  uint16_t num_ratios = 0;
  if (!t.Word(4, &num_ratios)) return false;
  for (std::size_t i = 0; i < num_ratios; ++i) {
    BYTE charset = 0, x_ratio = 0, y_start = 0, y_end = 0;
    const std::size_t at = 6 + i * 4;
    if (!t.Byte(at, &charset) || !t.Byte(at + 1, &x_ratio) || !t.Byte(at + 2, &y_start) ||
        !t.Byte(at + 3, &y_end)) {
      return false;
    }
    if (!charset) continue;
    if ((x_ratio == 0 && y_start == 0 && y_end == 0) ||
        (x_ratio == 1 && y_start <= 1 && y_end >= 1)) {
      uint16_t offset = 0;
      if (!t.Word(6 + std::size_t{num_ratios} * 4 + i * 2, &offset)) return false;
      *group_at = offset;
      return true;
    }
  }
  return false;
}

// A VDMX record: yPelHeight, yMax, yMin.
struct VdmxRecord {
  uint16_t ppem;
  int16_t y_max;
  int16_t y_min;
};

struct VdmxGroup {
  BYTE start_size = 0;
  BYTE end_size = 0;
  std::vector<VdmxRecord> records;  // in ascending yPelHeight
};

// The group at group_at, whole; false when the table is cut short.
bool ReadVdmxGroup(const TableReader& t, std::size_t group_at, VdmxGroup* group) {
  uint16_t recs = 0;
  if (!t.Word(group_at, &recs) || !t.Byte(group_at + 2, &group->start_size) ||
      !t.Byte(group_at + 3, &group->end_size)) {
    return false;
  }
  group->records.resize(recs);
  for (std::size_t i = 0; i < recs; ++i) {
    uint16_t p = 0, y_max = 0, y_min = 0;
    const std::size_t at = group_at + 4 + i * 6;
    if (!t.Word(at, &p) || !t.Word(at + 2, &y_max) || !t.Word(at + 4, &y_min)) return false;
    group->records[i] = VdmxRecord{p, static_cast<int16_t>(y_max), static_cast<int16_t>(y_min)};
  }
  return true;
}

// The weight reported for an outline font: a simulated bold's, else the
// OS/2 weight class where it agrees with the face's bold flag (above medium
// for a bold face, up to medium for another), else normal.
LONG OutlineWeight(FT_Face face, const TT_OS2& os2, bool fake_bold) {
  if (fake_bold) return kFwBold;
  if (face->style_flags & FT_STYLE_FLAG_BOLD) {
    return os2.usWeightClass > kFwMedium ? os2.usWeightClass : kFwNormal;
  }
  return os2.usWeightClass <= kFwMedium ? os2.usWeightClass : kFwNormal;
}

// The first, last, break and default characters: a symbol font's private
// use range, else the OS/2 table's range.
void SetCharacterRange(FT_Face face, const TT_OS2& os2, TEXTMETRICW* tm) {
  if (HasSymbolCharmap(face) || (os2.usFirstCharIndex >= 0xf000 && os2.usFirstCharIndex < 0xf100)) {
    tm->tmFirstChar = 0;
    tm->tmLastChar = 0xf0ff;
    tm->tmBreakChar = 0x20;
    tm->tmDefaultChar = 0x1f;
    return;
  }
  tm->tmFirstChar = os2.usFirstCharIndex;
  tm->tmLastChar = os2.usLastCharIndex;
  if (os2.usFirstCharIndex <= 1) {
    tm->tmBreakChar = static_cast<WCHAR>(os2.usFirstCharIndex + 2);
  } else if (os2.usFirstCharIndex > 0xff) {
    tm->tmBreakChar = 0x20;
  } else {
    tm->tmBreakChar = os2.usFirstCharIndex;
  }
  tm->tmDefaultChar = static_cast<WCHAR>(tm->tmBreakChar - 1);
}

// tmPitchAndFamily of an outline font: the pitch from the face and the
// PANOSE proportion, the family from the PANOSE family and serif style,
// and whether its outlines are TrueType or PostScript.
BYTE OutlinePitchAndFamily(FT_Face face, const TT_OS2& os2) {
  const BYTE* panose = os2.panose;
  const bool monospaced = panose[kPanProportion] == kPanPropMonospaced;
  BYTE pitch =
      !FT_IS_FIXED_WIDTH(face) && (os2.version == 0xFFFFU || !monospaced) ? kTmpfFixedPitch : 0;
  if (panose[kPanFamilyType] == kPanFamilyScript) {
    pitch |= kFfScript;
  } else if (panose[kPanFamilyType] == kPanFamilyDecorative) {
    pitch |= kFfDecorative;
  } else if (pitch == 0 || monospaced) {
    pitch = kFfModern;
  } else {
    const BYTE serif = panose[kPanSerifStyle];
    if (serif >= 2 && serif <= 10) {
      pitch |= kFfRoman;  // cove, square, thin, bone, exaggerated, triangle
    } else if (serif >= 11 && serif <= 15) {
      pitch |= kFfSwiss;  // sans, flared, rounded
    }
  }
  pitch |= kTmpfVector;
  if (FT_IS_SFNT(face)) {
    FT_ULong cff_len = 0;
    const bool postscript = FT_Load_Sfnt_Table(face, TTAG_CFF, 0, nullptr, &cff_len) == 0;
    pitch |= postscript ? kTmpfDevice : kTmpfTrueType;
  }
  return pitch;
}

}  // namespace

FreeTypeFont::FreeTypeFont(FT_Library library, FT_Face face, const LOGFONTW& lf)
    : library_(library), face_(face), lf_(lf) {}

FreeTypeFont::~FreeTypeFont() { FT_Done_Face(face_); }

std::unique_ptr<FreeTypeFont> FreeTypeFont::Open(FT_Library library, const std::string& path,
                                                 long face_index, const LOGFONTW& lf) {
  if (!library) return nullptr;
  FT_Face face = nullptr;
  if (FT_New_Face(library, path.c_str(), face_index, &face) != 0) return nullptr;
  if (!FT_IS_SCALABLE(face)) {
    FT_Done_Face(face);
    return nullptr;
  }
  std::unique_ptr<FreeTypeFont> font(new FreeTypeFont(library, face, lf));

  // A weight or slant the face does not have is simulated.
  font->fake_italic_ = lf.lfItalic && !(face->style_flags & FT_STYLE_FLAG_ITALIC);
  font->fake_bold_ = lf.lfWeight > 550 && !(face->style_flags & FT_STYLE_FLAG_BOLD);
  font->charset_ = lf.lfCharSet;
  if (lf.lfCharSet == kDefaultCharset) {
    font->charset_ =
        HasSymbolCharmap(face) && !HasUnicodeCharmap(face) ? kSymbolCharset : kAnsiCharset;
  }

  long ppem = font->LoadVdmx(lf.lfHeight);
  if (ppem == 0) ppem = font->PpemForHeight(lf.lfHeight);
  font->ppem_ = ppem;
  if (FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(ppem)) != 0) return nullptr;
  font->PickCharmap();
  if (!font->SetOutlineTextMetrics()) font->SetBitmapTextMetrics();

  // lfWidth (its magnitude) sets the average width when a height is given;
  // one more than a hundred times the height is ignored, as GDI ignores it.
  const int64_t width = std::llabs(static_cast<int64_t>(lf.lfWidth));
  const int64_t height = font->tm_.tmHeight;
  if (lf.lfHeight != 0 && width != 0 && height > 0 && (width + height - 1) / height <= 100) {
    font->ave_width_ = static_cast<long>(width);
  }
  return font;
}

// The pixel size a VDMX table records for this height, 0 when the font has
// none for it. A positive height also takes the table's ascent and descent.
long FreeTypeFont::LoadVdmx(long height) {
  FT_ULong len = 0;
  if (FT_Load_Sfnt_Table(face_, TTAG_VDMX, 0, nullptr, &len) != 0 || len < 6) return 0;
  std::vector<FT_Byte> bytes(len);
  if (FT_Load_Sfnt_Table(face_, TTAG_VDMX, 0, bytes.data(), &len) != 0) return 0;
  const TableReader t(std::move(bytes));
  std::size_t group_at = 0;
  if (!FindVdmxGroup(t, &group_at)) return 0;
  VdmxGroup group;
  if (!ReadVdmxGroup(t, group_at, &group)) return 0;
  const std::vector<VdmxRecord>& table = group.records;

  if (height > 0) {
    // The largest size whose cell fits the height.
    for (std::size_t i = 0; i < table.size(); ++i) {
      const long cell = table[i].y_max - table[i].y_min;
      if (cell == height) {
        vdmx_y_max_ = table[i].y_max;
        vdmx_y_min_ = table[i].y_min;
        return vdmx_y_max_ ? table[i].ppem : 0;
      }
      if (cell > height) {
        if (i == 0) return 0;
        vdmx_y_max_ = table[i - 1].y_max;
        vdmx_y_min_ = table[i - 1].y_min;
        return vdmx_y_max_ ? table[i - 1].ppem : 0;
      }
    }
    return 0;
  }
  if (height < -kMaxPpem) return 0;
  const long ppem = -height;
  if (ppem < group.start_size || ppem > group.end_size) return 0;
  for (const VdmxRecord& r : table) {
    if (r.ppem > ppem) return 0;
    if (r.ppem == ppem) {
      vdmx_y_max_ = r.y_max;
      vdmx_y_min_ = r.y_min;
      break;
    }
  }
  return ppem;
}

// The em height in pixels: lfHeight < 0 is the em height itself, lfHeight > 0
// the cell height (usWinAscent + usWinDescent), 0 a cell of 16 pixels.
long FreeTypeFont::PpemForHeight(long height) const {
  if (height == 0) height = 16;
  long ppem;
  if (height > 0) {
    const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
    const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face_, FT_SFNT_HHEA));
    long units = 0;
    if (os2) {
      // Some fonts store a signed descent in the unsigned field.
      units = os2->usWinAscent + std::abs(static_cast<int16_t>(os2->usWinDescent));
    }
    if (units == 0 && hhea) units = hhea->Ascender - hhea->Descender;
    if (units <= 0) units = face_->units_per_EM;
    ppem = FT_MulDiv(face_->units_per_EM, height, units);
    // When rounding makes the cell taller than asked, take the size below.
    if (ppem > 1 && FT_MulDiv(units, ppem, face_->units_per_EM) > height) --ppem;
  } else {
    // -height overflows for the most negative LONG; anything past the
    // largest size is that size.
    ppem = height >= -kMaxPpem ? -height : kMaxPpem;
  }
  // GDI drops a height beyond the largest size to one pixel; the largest size
  // keeps such a font as large as it was asked to be, and its glyphs then
  // exceed the bitmap bounds instead of coming out as dots.
  return std::clamp(ppem, 1L, kMaxPpem);
}

void FreeTypeFont::PickCharmap() {
  static constexpr FT_Encoding kRegular[] = {FT_ENCODING_UNICODE, FT_ENCODING_APPLE_ROMAN,
                                             FT_ENCODING_MS_SYMBOL};
  static constexpr FT_Encoding kSymbol[] = {FT_ENCODING_MS_SYMBOL, FT_ENCODING_UNICODE,
                                            FT_ENCODING_APPLE_ROMAN};
  for (FT_Encoding encoding : charset_ == kSymbolCharset ? kSymbol : kRegular) {
    if (SelectCharmap(face_, encoding)) break;
  }
  if (!face_->charmap && face_->num_charmaps) FT_Set_Charmap(face_, face_->charmaps[0]);
}

bool FreeTypeFont::SetOutlineTextMetrics() {
  const auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face_, FT_SFNT_OS2));
  const auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face_, FT_SFNT_HHEA));
  if (!os2 || !hhea) return false;

  const FT_Long em_scale = FT_MulDiv(ppem_, 1 << 16, face_->units_per_EM);
  const auto scale = [em_scale](FT_Long v) { return static_cast<LONG>(FT_MulFix(v, em_scale)); };

  const long win_descent = std::abs(static_cast<int16_t>(os2->usWinDescent));
  long ascent = os2->usWinAscent;
  long descent = win_descent;
  if (os2->usWinAscent + win_descent == 0) {
    ascent = hhea->Ascender;
    descent = -hhea->Descender;
  }
  ntm_avg_width_ = os2->xAvgCharWidth;

  TEXTMETRICW& tm = tm_;
  if (vdmx_y_max_) {
    tm.tmAscent = vdmx_y_max_;
    tm.tmDescent = -vdmx_y_min_;
    tm.tmInternalLeading = tm.tmAscent + tm.tmDescent - face_->size->metrics.y_ppem;
  } else {
    tm.tmAscent = scale(ascent);
    tm.tmDescent = scale(descent);
    tm.tmInternalLeading = scale(ascent + descent - face_->units_per_EM);
  }
  tm.tmHeight = tm.tmAscent + tm.tmDescent;
  // The line gap beyond what the Windows ascent and descent already cover.
  tm.tmExternalLeading = std::max<LONG>(
      0, scale(hhea->Line_Gap - ((ascent + descent) - (hhea->Ascender - hhea->Descender))));
  tm.tmAveCharWidth = scale(os2->xAvgCharWidth);
  if (tm.tmAveCharWidth == 0) tm.tmAveCharWidth = 1;
  tm.tmMaxCharWidth = scale(face_->bbox.xMax - face_->bbox.xMin);

  tm.tmWeight = OutlineWeight(face_, *os2, fake_bold_);
  tm.tmOverhang = 0;
  tm.tmDigitizedAspectX = 96;
  tm.tmDigitizedAspectY = 96;
  SetCharacterRange(face_, *os2, &tm);
  tm.tmItalic = fake_italic_ || (face_->style_flags & FT_STYLE_FLAG_ITALIC) ? 255 : 0;
  tm.tmUnderlined = lf_.lfUnderline ? 255 : 0;
  tm.tmStruckOut = lf_.lfStrikeOut ? 255 : 0;
  tm.tmPitchAndFamily = OutlinePitchAndFamily(face_, *os2);
  tm.tmCharSet = charset_;
  outline_metrics_ = true;
  return true;
}

// Metrics for a scalable face without the TrueType tables, from FreeType's
// size metrics.
void FreeTypeFont::SetBitmapTextMetrics() {
  const FT_Size_Metrics& size = face_->size->metrics;
  TEXTMETRICW& tm = tm_;
  tm.tmAscent = static_cast<LONG>(size.ascender >> 6);
  tm.tmDescent = static_cast<LONG>(-size.descender >> 6);
  tm.tmHeight = tm.tmAscent + tm.tmDescent;
  tm.tmInternalLeading = tm.tmHeight - size.y_ppem;
  tm.tmExternalLeading = static_cast<LONG>(size.height >> 6) - tm.tmHeight;
  tm.tmMaxCharWidth = static_cast<LONG>(size.max_advance >> 6);
  tm.tmAveCharWidth = std::max<LONG>(1, tm.tmMaxCharWidth * 2 / 3);
  tm.tmWeight = fake_bold_ || (face_->style_flags & FT_STYLE_FLAG_BOLD) ? kFwBold : kFwNormal;
  tm.tmOverhang = 0;
  tm.tmDigitizedAspectX = 96;
  tm.tmDigitizedAspectY = 96;
  tm.tmFirstChar = 1;
  tm.tmLastChar = 255;
  tm.tmDefaultChar = 32;
  tm.tmBreakChar = 32;
  tm.tmItalic = face_->style_flags & FT_STYLE_FLAG_ITALIC ? 1 : 0;
  tm.tmUnderlined = lf_.lfUnderline ? 0xff : 0;
  tm.tmStruckOut = lf_.lfStrikeOut ? 0xff : 0;
  tm.tmPitchAndFamily = FT_IS_FIXED_WIDTH(face_) ? 0 : kTmpfFixedPitch;
  tm.tmCharSet = charset_;
  outline_metrics_ = false;
}

TEXTMETRICW FreeTypeFont::TextMetrics() const {
  TEXTMETRICW tm = tm_;
  const double scale_x = WidthRatio();
  tm.tmOverhang = GdiRound(tm.tmOverhang * scale_x);
  if (fake_bold_) {
    ++tm.tmAveCharWidth;
    ++tm.tmMaxCharWidth;
  }
  tm.tmAveCharWidth = GdiRound(tm.tmAveCharWidth * scale_x);
  tm.tmMaxCharWidth = GdiRound(tm.tmMaxCharWidth * scale_x);
  return tm;
}

UINT FreeTypeFont::GlyphIndex(UINT ch) const {
  if (face_->charmap && face_->charmap->encoding == FT_ENCODING_MS_SYMBOL) {
    // Symbol fonts keep their glyphs at U+F000 and up; some older ones at
    // the character itself.
    const UINT code = ch < 0x100 ? ch + 0xf000 : ch;
    UINT index = FT_Get_Char_Index(face_, code);
    if (!index && code >= 0xf000) index = FT_Get_Char_Index(face_, code - 0xf000);
    return index;
  }
  return FT_Get_Char_Index(face_, ch);
}

namespace {

// The font's own transformations followed by the caller's: the average
// width's scaling, the simulated italic's slant, then the MAT2. False when
// there is none.
bool Transform(double width_ratio, bool fake_italic, const MAT2* user, FT_Matrix* out) {
  FT_Matrix m{1 << 16, 0, 0, 1 << 16};
  bool any = false;
  if (width_ratio != 1.0) {
    FT_Matrix scale{FixedFromDouble(width_ratio), 0, 0, 1 << 16};
    FT_Matrix_Multiply(&scale, &m);
    any = true;
  }
  if (fake_italic) {
    FT_Matrix slant{1 << 16, (1 << 16) >> 2, 0, 1 << 16};
    FT_Matrix_Multiply(&slant, &m);
    any = true;
  }
  if (user) {
    // GDI's MAT2 maps (x, y) to (eM11 x + eM21 y, eM12 x + eM22 y).
    FT_Matrix u{FixedFromFIXED(user->eM11), FixedFromFIXED(user->eM21), FixedFromFIXED(user->eM12),
                FixedFromFIXED(user->eM22)};
    FT_Matrix_Multiply(&u, &m);
    any = true;
  }
  *out = m;
  return any;
}

// Loads a glyph, retrying without hinting when the hinter fails on it.
bool LoadGlyph(FT_Face face, UINT index, FT_Int32 flags) {
  FT_Error err = FT_Load_Glyph(face, index, flags);
  if (err && !(flags & FT_LOAD_NO_HINTING)) {
    err = FT_Load_Glyph(face, index, flags | FT_LOAD_NO_HINTING);
  }
  return err == 0;
}

// Emboldens the loaded outline for a simulated bold, updating its metrics.
bool EmboldenOutline(FT_GlyphSlot glyph, long ppem, FT_Glyph_Metrics* metrics) {
  if (glyph->format != FT_GLYPH_FORMAT_OUTLINE) return false;
  const FT_Pos strength = FT_MulDiv(ppem, 1 << 6, 24);
  if (FT_Outline_Embolden(&glyph->outline, strength) != 0) return false;
  FT_BBox bbox;
  FT_Outline_Get_CBox(&glyph->outline, &bbox);
  metrics->width = bbox.xMax - bbox.xMin;
  metrics->height = bbox.yMax - bbox.yMin;
  metrics->horiBearingX = bbox.xMin;
  metrics->horiBearingY = bbox.yMax;
  return true;
}

// A glyph reaching beyond the font's ascent or descent is clipped to them.
void ClipToCell(const TEXTMETRICW& tm, FT_Glyph_Metrics* metrics) {
  const FT_Pos top = std::min<FT_Pos>(metrics->horiBearingY, FT_Pos{tm.tmAscent} * 64);
  const FT_Pos bottom =
      std::max<FT_Pos>(metrics->horiBearingY - metrics->height, -FT_Pos{tm.tmDescent} * 64);
  metrics->horiBearingY = top;
  metrics->height = top - bottom;
}

// GDI's record of a glyph whose pixel box is bbox and whose pen advance is
// adv (both 26.6); an empty box counts as one pixel each way. GDI's fields
// are 32 and 16 bits wide and wrap like GDI's.
GLYPHMETRICS GlyphMetricsOf(const FT_BBox& bbox, const FT_Vector& adv) {
  GLYPHMETRICS out{};
  const int64_t width = (bbox.xMax - bbox.xMin) >> 6;
  const int64_t height = (bbox.yMax - bbox.yMin) >> 6;
  out.gmBlackBoxX = static_cast<UINT>(width ? width : 1);
  out.gmBlackBoxY = static_cast<UINT>(height ? height : 1);
  out.gmptGlyphOrigin.x = static_cast<LONG>(bbox.xMin >> 6);
  out.gmptGlyphOrigin.y = static_cast<LONG>(bbox.yMax >> 6);
  out.gmCellIncX = static_cast<int16_t>(adv.x >> 6);
  out.gmCellIncY = static_cast<int16_t>(adv.y >> 6);
  return out;
}

// Scan-converts the loaded outline, transformed by matrix (null: none) and
// moved so that bbox's corner is the bitmap's, into the zeroed bitmap at
// dst. False when FreeType cannot.
bool DrawOutline(FT_Library library, FT_GlyphSlot glyph, const FT_Matrix* matrix,
                 const FT_BBox& bbox, int64_t width, int64_t height, int64_t pitch, BYTE* dst) {
  FT_Bitmap bitmap;
  FT_Bitmap_Init(&bitmap);
  bitmap.width = static_cast<unsigned>(width);
  bitmap.rows = static_cast<unsigned>(height);
  bitmap.pitch = static_cast<int>(pitch);
  bitmap.pixel_mode = FT_PIXEL_MODE_MONO;
  bitmap.num_grays = 2;
  bitmap.buffer = dst;
  if (matrix) FT_Outline_Transform(&glyph->outline, matrix);
  FT_Outline_Translate(&glyph->outline, -bbox.xMin, -bbox.yMin);
  return FT_Outline_Get_Bitmap(library, &glyph->outline, &bitmap) == 0;
}

// An embedded monochrome bitmap into the zeroed bitmap at dst, row by row
// from its top row whichever way its rows run, cut to height rows and pitch
// bytes; a simulated bold smears every row one pixel right.
void CopyEmbeddedBitmap(const FT_Bitmap& src, bool bold, int64_t height, int64_t pitch, BYTE* dst) {
  const BYTE* row = src.buffer;
  if (src.pitch < 0 && src.rows > 0) {
    row -= static_cast<ptrdiff_t>(src.pitch) * (src.rows - 1);
  }
  const int64_t w = std::min<int64_t>(pitch, (src.width + 7) >> 3);
  const int64_t h = std::min<int64_t>(height, src.rows);
  for (int64_t y = 0; y < h; ++y, row += src.pitch, dst += pitch) {
    if (!bold) {
      std::memcpy(dst, row, static_cast<std::size_t>(w));
      continue;
    }
    for (int64_t x = 0; x < w; ++x) {
      dst[x] = static_cast<BYTE>((dst[x] & 0x80) | (row[x] >> 1) | row[x]);
      if (x + 1 < pitch) dst[x + 1] = static_cast<BYTE>((row[x] & 0x01) << 7);
    }
  }
}

}  // namespace

// The pen advance of a glyph whose hinted advance is base (26.6), transformed
// by matrix and rounded up to whole pixels; y grows downwards in the result.
// Full-width characters of a fixed-pitch font advance by two average widths.
FT_Vector FreeTypeFont::PenAdvance(FT_Pos base, const FT_Matrix* matrix) const {
  FT_Vector adv{base, 0};
  FT_Long em_scale = 0;
  bool fixed_pitch_full = false;
  if (outline_metrics_ && !(tm_.tmPitchAndFamily & kTmpfFixedPitch)) {
    em_scale = FT_MulDiv(ppem_, 1 << 16, face_->units_per_EM);
    const FT_Long avg_advance = FT_MulFix(ntm_avg_width_, em_scale);
    fixed_pitch_full =
        avg_advance > 0 && (base + 63) >> 6 == FT_MulFix(ntm_avg_width_ * 2, em_scale);
    if (fixed_pitch_full && !matrix) adv.x = (avg_advance * 2) << 6;
  }
  if (matrix) {
    FT_Vector_Transform(&adv, matrix);
    if (fixed_pitch_full && adv.y == 0) {
      FT_Vector vec{ntm_avg_width_, 0};
      FT_Vector_Transform(&vec, matrix);
      adv.x = (FT_MulFix(vec.x, em_scale) * 2) << 6;
    }
  }
  if (fake_bold_) {
    // A simulated bold is a pixel wider, along the direction of writing.
    if (!matrix) {
      adv.x += 1 << 6;
    } else {
      FT_Vector one{1 << 6, 0};
      FT_Vector_Transform(&one, matrix);
      const FT_Vector step = Normalized(one);
      adv.x += step.x;
      adv.y += step.y;
    }
  }
  adv.x = (adv.x + 63) & -64;
  adv.y = -((adv.y + 63) & -64);
  return adv;
}

double FreeTypeFont::WidthRatio() const {
  return ave_width_ ? static_cast<double>(ave_width_) / tm_.tmAveCharWidth : 1.0;
}

bool FreeTypeFont::Advance(UINT ch, int64_t* advance) {
  FT_Matrix m;
  const bool transformed = Transform(WidthRatio(), fake_italic_, nullptr, &m);
  if (!LoadGlyph(face_, GlyphIndex(ch), FT_LOAD_IGNORE_GLOBAL_ADVANCE_WIDTH | FT_LOAD_NO_BITMAP)) {
    return false;
  }
  FT_Vector adv = PenAdvance(face_->glyph->metrics.horiAdvance, transformed ? &m : nullptr);
  // Under a transformation the advance is the length of the advance vector.
  *advance = transformed ? FT_Vector_Length(&adv) >> 6 : adv.x >> 6;
  return true;
}

DWORD FreeTypeFont::GlyphBitmap(UINT ch, const MAT2& matrix, GLYPHMETRICS* gm, DWORD cb,
                                void* buf) {
  FT_Matrix m;
  const bool transformed =
      Transform(WidthRatio(), fake_italic_, IsIdentity(matrix) ? nullptr : &matrix, &m);
  const FT_Matrix* mp = transformed ? &m : nullptr;

  // Monochrome hinting; an embedded bitmap only serves an untransformed glyph.
  FT_Int32 flags = FT_LOAD_IGNORE_GLOBAL_ADVANCE_WIDTH | FT_LOAD_TARGET_MONO;
  if (transformed) flags |= FT_LOAD_NO_BITMAP;
  if (!LoadGlyph(face_, GlyphIndex(ch), flags)) return GDI_ERROR;
  FT_GlyphSlot glyph = face_->glyph;

  FT_Glyph_Metrics metrics = glyph->metrics;
  if (fake_bold_ && !EmboldenOutline(glyph, ppem_, &metrics) && metrics.width) {
    metrics.width += 1 << 6;
  }
  ClipToCell(tm_, &metrics);

  const FT_BBox bbox = TransformedBbox(metrics, mp);
  const int64_t width = (bbox.xMax - bbox.xMin) >> 6;
  const int64_t height = (bbox.yMax - bbox.yMin) >> 6;
  const GLYPHMETRICS out = GlyphMetricsOf(bbox, PenAdvance(metrics.horiAdvance, mp));

  // Rows padded to 32 bits; the bounds are checked before multiplying.
  if (width > kMaxGlyphSide || height > kMaxGlyphSide) return GDI_ERROR;
  const int64_t pitch = ((width + 31) >> 5) << 2;
  if (height != 0 && pitch > kMaxGlyphBytes / height) return GDI_ERROR;
  const DWORD needed = static_cast<DWORD>(pitch * height);

  if (!buf || !cb || needed == 0) {
    if (gm) *gm = out;
    return needed;
  }
  if (needed > cb) return GDI_ERROR;

  auto* dst = static_cast<BYTE*>(buf);
  std::memset(dst, 0, needed);
  if (glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
    if (!DrawOutline(library_, glyph, mp, bbox, width, height, pitch, dst)) return GDI_ERROR;
  } else if (glyph->format == FT_GLYPH_FORMAT_BITMAP &&
             glyph->bitmap.pixel_mode == FT_PIXEL_MODE_MONO) {
    CopyEmbeddedBitmap(glyph->bitmap, fake_bold_, height, pitch, dst);
  } else {
    return GDI_ERROR;
  }
  if (gm) *gm = out;
  return needed;
}

}  // namespace pclspool::posix
