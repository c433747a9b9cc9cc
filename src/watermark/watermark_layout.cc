#include "watermark/watermark_layout.h"

#include <cmath>

#include "job/settings.h"
#include "job/sheet_layout.h"
#include "job/trace.h"
#include "platform/platform.h"
#include "job/clamp.h"
#include "watermark/soft_font.h"

namespace pclspool {

WatermarkLayoutRecord WatermarkLayout;
LOGFONTW WatermarkWorkFont;

namespace {

// The job whose set-up the module-level state (WatermarkFont,
// WatermarkWorkFont, WatermarkLayout, the character table) holds; nullptr
// when none. Identity by address is enough: a job's bFontDownloaded is set
// only by its own set-up, so a match means the last set-up was this job's,
// and a context's address is forgotten when it is freed.
const JobContext* g_owner = nullptr;

// Angles use this ten-digit pi, not a more precise one: at 90 degrees its
// cosine is about 4.5e-11 and truncates to 0 like the exact one would.
constexpr double kPi = 3.1415926535;

constexpr int16_t kLandscape = 2;
constexpr uint16_t kTwoUp = 1;
constexpr uint16_t kFourUp = 2;

double Radians(int32_t angle) { return angle * kPi / 180; }

// Bytes of a GGO_BITMAP glyph: rows padded to 32 bits.
uint64_t BitmapBytes(const GLYPHMETRICS& gm) {
  return (uint64_t{gm.gmBlackBoxX} + 31) / 32 * 4 * gm.gmBlackBoxY;
}

// The glyph bitmaps of one set-up: allocated at the first need, grown when
// a larger bitmap comes, never shrunk, freed with the set-up.
class ScratchBuffer {
 public:
  ScratchBuffer() = default;
  ScratchBuffer(const ScratchBuffer&) = delete;
  ScratchBuffer& operator=(const ScratchBuffer&) = delete;
  ~ScratchBuffer() { platform::Get().heap->Free(block_); }

  bool Reserve(DWORD bytes) {
    if (bytes <= size_) return true;
    platform::Heap& heap = *platform::Get().heap;
    // A failed ReAlloc leaves the old block, which the destructor frees.
    void* grown = block_ ? heap.ReAlloc(block_, bytes) : heap.Alloc(bytes);
    if (!grown) return false;
    block_ = static_cast<uint8_t*>(grown);
    size_ = bytes;
    return true;
  }
  uint8_t* data() const { return block_; }

 private:
  uint8_t* block_ = nullptr;
  DWORD size_ = 0;
};

// Renders and downloads every character at its first occurrence; repeats
// copy their first occurrence's entry. A character the rasteriser cannot
// render, or whose bitmap finds no room, ends the text there.
void RenderCharacters(JobContext& ctx, platform::Text& gdi, HDC screen, const MAT2& rotation,
                      FontDownload download) {
  ScratchBuffer scratch;
  for (std::size_t i = 0; CharacterTable[i].code != 0; ++i) {
    GlyphEntry& e = CharacterTable[i];
    if (e.code != kFirstCharCode + static_cast<int32_t>(i)) {
      const GlyphEntry& first = CharacterTable[e.code - kFirstCharCode];
      e.advanceX = first.advanceX;
      e.advanceY = first.advanceY;
      e.skip = first.skip;
      e.metrics = first.metrics;
      continue;
    }
    GLYPHMETRICS gm{};
    const DWORD n =
        gdi.GetGlyphOutlineW(screen, e.character, GGO_BITMAP, &gm, 0, nullptr, &rotation);
    if (n == GDI_ERROR || !scratch.Reserve(n)) {
      e = GlyphEntry{};
      break;
    }
    const DWORD r =
        gdi.GetGlyphOutlineW(screen, e.character, GGO_BITMAP, &gm, n, scratch.data(), &rotation);
    // The soft font reads padded rows times rows bytes of the bitmap: a
    // second call that fails or metrics that claim more than was delivered
    // end the text like a first call that fails.
    if (r == GDI_ERROR || (r != 0 && (r > n || BitmapBytes(gm) > n))) {
      e = GlyphEntry{};
      break;
    }
    e.advanceX = gm.gmCellIncX;
    e.advanceY = gm.gmCellIncY;
    e.metrics = gm;
    if (r != 0) {
      if (download == FontDownload::kSend) DownloadChar(ctx, e.code, gm, scratch.data());
      e.skip = 0;
    } else {
      e.skip = 1;  // a blank: no bitmap, but its advance moves the pen
    }
  }
}

}  // namespace

double CalcScaleRatio(int32_t a, int32_t b) {
  Trace(u"CalcScaleRatio %d,%d \n", {a, b});
  // A page size that was never given (0) has no ratio: no scaling.
  return ScaleRatio(a, b);
}

FIXED ToFixed(double v) {
  const auto bits = static_cast<uint32_t>(TruncToInt32(v * 65536));
  return FIXED{static_cast<WORD>(bits & 0xFFFF), static_cast<int16_t>(bits >> 16)};
}

MAT2 MakeRotationMatrix(int32_t angle) {
  const double theta = Radians(angle);
  return MAT2{ToFixed(std::cos(theta)), ToFixed(std::sin(theta)), ToFixed(-std::sin(theta)),
              ToFixed(std::cos(theta))};
}

int32_t FontHeightInDots(int32_t lfHeight, int32_t resolution, int32_t logPixels) {
  if (logPixels <= 0) return 0;
  // The product first, the division truncating toward zero.
  return ClampToInt32(int64_t{lfHeight} * resolution / logPixels);
}

PageScale ScaleToPage(const JobContext& ctx, int32_t height) {
  PageScale r{height, ctx.lXDim, ctx.lYDim, 1.0f};

  // The zoom changes only the font height. An index past the table has no
  // percentage and means no zoom.
  const uint16_t zoom = ZoomIndex(ctx);
  if (zoom != 0 && zoom < kZoomEntries) {
    const auto z = static_cast<float>(ZoomTable[zoom].percent / 100.0);
    r.height = TruncToInt32(static_cast<float>(r.height) * z);
  }

  // The page pair is (short, long) for the usual sizes, from the unscaled
  // dimensions.
  const bool landscape = ctx.dm.dmOrientation == kLandscape;
  const int32_t a = landscape ? ctx.lYDim : ctx.lXDim;
  const int32_t b = landscape ? ctx.lXDim : ctx.lYDim;
  if (IsBooklet(ctx)) {
    // Booklet pages are imposed two to a side but centred on the full page.
    r.ratio = static_cast<float>(CalcScaleRatio(a, b));
    r.height = TruncToInt32(static_cast<float>(r.height) * r.ratio);
  } else if (Nup(ctx) == kTwoUp) {
    r.ratio = static_cast<float>(CalcScaleRatio(a, b));
    r.pageWidth = TruncToInt32(static_cast<float>(r.pageWidth) * r.ratio);
    r.pageHeight = TruncToInt32(static_cast<float>(r.pageHeight) * r.ratio);
    r.height = TruncToInt32(static_cast<float>(r.height) * r.ratio);
  } else if (Nup(ctx) == kFourUp) {
    r.ratio = 0.5f;
    r.pageWidth /= 2;
    r.pageHeight /= 2;
    r.height /= 2;
  }
  return r;
}

POINT CenteredStart(int32_t pageWidth, int32_t pageHeight, int32_t angle, SIZE extent) {
  // The rotated text's bounding box; sin and cos keep their signs, so
  // negative angles give a negative box side.
  const double theta = Radians(angle);
  const double c = std::cos(theta);
  const double s = std::sin(theta);
  const int64_t w = TruncToInt32(c * extent.cx + s * extent.cy);
  const int64_t h = TruncToInt32(c * extent.cy + s * extent.cx);
  // Halvings truncate toward zero.
  const int64_t x0 = (pageWidth - w) / 2 + TruncToInt32(s * extent.cy);
  const int64_t y0 = h + (pageHeight - h) / 2;
  return POINT{ClampToInt32(x0), ClampToInt32(y0)};
}

POINT OffsetInDots(const WatermarkDefinition& def, int32_t resolution, float ratio) {
  if (def.centerToPage != 0) return POINT{0, 0};
  // Tenths of an inch at full scale; the zoom does not enter.
  const float f = static_cast<float>(resolution) * ratio / 10.0f;
  return POINT{TruncToInt32(static_cast<float>(def.xOffset) * f),
               TruncToInt32(static_cast<float>(def.yOffset) * f)};
}

namespace {

// FNV-1a, 32 bits.
class Fingerprint {
 public:
  void Add(uint32_t v) {
    for (int i = 0; i < 4; ++i) {
      hash_ ^= (v >> (8 * i)) & 0xFF;
      hash_ *= 16777619u;
    }
  }
  uint32_t value() const { return hash_; }

 private:
  uint32_t hash_ = 2166136261u;
};

uint32_t KeyOf(const char16_t* text, const LOGFONTW& f, const WatermarkDefinition& def) {
  Fingerprint h;
  for (const char16_t* c = text; *c; ++c) h.Add(*c);
  h.Add(0);
  for (const LONG v : {f.lfHeight, f.lfWidth, f.lfEscapement, f.lfOrientation, f.lfWeight}) {
    h.Add(static_cast<uint32_t>(v));
  }
  for (const BYTE v : {f.lfItalic, f.lfUnderline, f.lfStrikeOut, f.lfCharSet, f.lfOutPrecision,
                       f.lfClipPrecision, f.lfQuality, f.lfPitchAndFamily}) {
    h.Add(v);
  }
  for (const WCHAR c : f.lfFaceName) h.Add(c);
  for (const int32_t v : {def.dark, def.xOffset, def.yOffset, def.centerToPage}) {
    h.Add(static_cast<uint32_t>(v));
  }
  return h.value();
}

}  // namespace

uint32_t WatermarkKey(const char16_t* text) {
  if (!text) text = u"";
  const WatermarkDefinition def = ReadWatermarkDefinition(text);
  return KeyOf(text, WatermarkFont, def);
}

bool WatermarkStateBelongsTo(const JobContext& ctx) { return g_owner == &ctx; }

void ForgetWatermarkJob(const JobContext& ctx) {
  if (g_owner == &ctx) g_owner = nullptr;
}

void WatermarkSetup(JobContext& ctx, const char16_t* text, FontDownload download) {
  if (!text) text = u"";
  g_owner = &ctx;
  const WatermarkDefinition def = ReadWatermarkDefinition(text);
  ctx.dwWatermarkKey = KeyOf(text, WatermarkFont, def);
  WatermarkLayout.dark = def.dark;
  WatermarkLayout.angle = WatermarkFont.lfEscapement / 10;

  platform::Text& gdi = *platform::Get().text;
  const HDC screen = gdi.GetDC();
  const MAT2 rotation = MakeRotationMatrix(WatermarkLayout.angle);
  WatermarkWorkFont = WatermarkFont;

  // The screen context only rasterises: the height is converted so that
  // the glyphs come out at the job's resolution.
  const int32_t resolution = ctx.dm.dmYResolution;
  const int logPixels = screen ? gdi.GetDeviceCaps(screen, LOGPIXELSX) : 0;
  const PageScale scale =
      ScaleToPage(ctx, FontHeightInDots(WatermarkFont.lfHeight, resolution, logPixels));
  WatermarkLayout.pageWidth = scale.pageWidth;
  WatermarkLayout.pageHeight = scale.pageHeight;
  Trace(u"ScaleRatio:%d over 1000 \n", {TruncToInt32(scale.ratio * 1000.0f)});

  // The font is created upright; the rotation matrix turns each glyph.
  WatermarkWorkFont.lfHeight = scale.height;
  WatermarkWorkFont.lfOrientation = WatermarkWorkFont.lfEscapement;
  WatermarkWorkFont.lfEscapement = 0;

  // Without a screen context, a screen resolution, the font or its
  // metrics there is nothing to render. The set-up then still completes
  // (layout, start position, bFontDownloaded) with an empty text and sends
  // no font descriptor: its cell sizes would come from absent metrics, and
  // a font without characters draws nothing anyway. Later pages select the
  // undefined font 16300, which the printer ignores, and draw no labels.
  const HGDIOBJ font =
      screen && logPixels > 0 ? gdi.CreateFontIndirectW(&WatermarkWorkFont) : nullptr;
  const HGDIOBJ previous = font ? gdi.SelectObject(screen, font) : nullptr;
  TEXTMETRICW tm{};
  const bool rasterise = previous && gdi.GetTextMetricsW(screen, &tm) != kFalse;

  // The codes decide where an over-long text is cut, and the extent is
  // measured over the characters kept, so that what prints is centred.
  const std::size_t count = rasterise ? AssignCharacterCodes(text) : AssignCharacterCodes(u"");
  SIZE extent{0, 0};
  if (rasterise && !gdi.GetTextExtentPoint32W(screen, text, static_cast<int>(count), &extent)) {
    extent = SIZE{0, 0};  // unmeasured: the text starts at the page's centre
  }
  const POINT start =
      CenteredStart(scale.pageWidth, scale.pageHeight, WatermarkLayout.angle, extent);

  if (rasterise && download == FontDownload::kSend) {
    DownloadFontHeader(ctx, &tm, &WatermarkWorkFont);
  }
  ctx.bFontDownloaded = 1;

  const POINT offset = OffsetInDots(def, resolution, scale.ratio);
  Trace(u"WMStr40[%d,%d],Center:%d\n", {offset.x, offset.y, def.centerToPage});
  ctx.lWaterX = ClampToInt32(int64_t{start.x} + offset.x);
  ctx.lWaterY = ClampToInt32(int64_t{start.y} + offset.y);

  if (rasterise) RenderCharacters(ctx, gdi, screen, rotation, download);

  if (previous) gdi.SelectObject(screen, previous);
  if (font) gdi.DeleteObject(font);
  if (screen) gdi.ReleaseDC(screen);
}

}  // namespace pclspool
