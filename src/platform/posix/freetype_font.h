// One font realized from a LOGFONTW on FreeType, with the arithmetic of
// GDI's FreeType engine (Wine's): the pixel size chosen from lfHeight, the
// text metrics from the OS/2, hhea and head tables, the advances and the
// GGO_BITMAP glyph bitmaps with their GLYPHMETRICS, rotated by a MAT2.
//
// Not thread-safe: a FreeType face and its library must not be used from two
// threads at once, so the owner serialises every call.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/win_types.h"

struct FT_LibraryRec_;
struct FT_FaceRec_;
struct FT_Matrix_;
struct FT_Vector_;

namespace pclspool::posix {

// Bounds on one glyph bitmap, checked before its size is multiplied out: a
// huge height or matrix gets GDI_ERROR instead of exhausting memory.
inline constexpr int64_t kMaxGlyphSide = 32767;                       // pixels, either side
inline constexpr int64_t kMaxGlyphBytes = int64_t{64} * 1024 * 1024;  // one bitmap

// The largest pixel size FreeType takes (FT_Set_Pixel_Sizes).
inline constexpr long kMaxPpem = 65535;

class FreeTypeFont {
 public:
  // The font lf asks for, from face face_index of the file at path; nullptr
  // when the file cannot be opened or holds no scalable outlines.
  static std::unique_ptr<FreeTypeFont> Open(FT_LibraryRec_* library, const std::string& path,
                                            long face_index, const LOGFONTW& lf);
  ~FreeTypeFont();
  FreeTypeFont(const FreeTypeFont&) = delete;
  FreeTypeFont& operator=(const FreeTypeFont&) = delete;

  // GetTextMetricsW's record in device pixels; the caller sets the digitized
  // aspect, which belongs to the device.
  TEXTMETRICW TextMetrics() const;
  // The pen advance GetTextExtentPoint32W adds up for ch, in pixels; false
  // when the glyph cannot be loaded.
  bool Advance(UINT ch, int64_t* advance);
  // GetGlyphOutlineW with GGO_BITMAP: the size of ch's bitmap transformed by
  // matrix when buf is null or cb 0, else the bitmap into buf; 0 for a blank
  // glyph; GDI_ERROR when the glyph cannot be produced. *gm is written only
  // on success.
  DWORD GlyphBitmap(UINT ch, const MAT2& matrix, GLYPHMETRICS* gm, DWORD cb, void* buf);

  long ppem() const { return ppem_; }

 private:
  FreeTypeFont(FT_LibraryRec_* library, FT_FaceRec_* face, const LOGFONTW& lf);

  long LoadVdmx(long height);
  long PpemForHeight(long height) const;
  void PickCharmap();
  bool SetOutlineTextMetrics();
  void SetBitmapTextMetrics();
  UINT GlyphIndex(UINT ch) const;
  // lfWidth over the unscaled average width, or 1.
  double WidthRatio() const;
  FT_Vector_ PenAdvance(long base, const FT_Matrix_* matrix) const;

  FT_LibraryRec_* library_;
  FT_FaceRec_* face_;
  LOGFONTW lf_;
  BYTE charset_ = 0;
  long ppem_ = 0;
  bool fake_bold_ = false;
  bool fake_italic_ = false;
  bool outline_metrics_ = false;  // tm_ came from the OS/2 and hhea tables
  long ave_width_ = 0;            // lfWidth when it scales the font, else 0
  long ntm_avg_width_ = 0;        // OS/2 xAvgCharWidth, font units
  int16_t vdmx_y_max_ = 0;        // ascent and descent from the VDMX table,
  int16_t vdmx_y_min_ = 0;        // when it has the height
  TEXTMETRICW tm_{};              // unscaled by lfWidth
};

}  // namespace pclspool::posix
