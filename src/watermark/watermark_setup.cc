#include "watermark/watermark_setup.h"

#include "job/clamp.h"
#include "job/settings.h"
#include "job/trace.h"
#include "platform/platform.h"
#include "watermark/glyph_rendering.h"
#include "watermark/soft_font.h"
#include "watermark/watermark_definition.h"
#include "watermark/watermark_geometry.h"

namespace pclspool {

void WatermarkSetup(JobContext& ctx, WatermarkState& state, const char16_t* text) {
  if (!text) text = u"";
  const WatermarkDefinition def = ReadWatermarkDefinition(text, &state.font);
  WatermarkLayoutRecord& layout = state.layout;
  layout.dark = def.dark;
  layout.angle = state.font.lfEscapement / 10;

  platform::Text& gdi = *platform::Get().text;
  const HDC screen = gdi.GetDC();
  const MAT2 rotation = MakeRotationMatrix(layout.angle);
  state.workFont = state.font;

  // The screen context only rasterises: the height is converted so that
  // the glyphs come out at the job's resolution.
  const int32_t resolution = ctx.dm.dmYResolution;
  const int logPixels = screen ? gdi.GetDeviceCaps(screen, LOGPIXELSX) : 0;
  const PageScale scale =
      ScaleToPage(ctx, FontHeightInDots(state.font.lfHeight, resolution, logPixels));
  layout.pageWidth = scale.pageWidth;
  layout.pageHeight = scale.pageHeight;
  Trace(u"ScaleRatio:%d over 1000 \n", {TruncToInt32(scale.ratio * 1000.0f)});

  // The font is created upright; the rotation matrix turns each glyph.
  state.workFont.lfHeight = scale.height;
  state.workFont.lfOrientation = state.workFont.lfEscapement;
  state.workFont.lfEscapement = 0;

  // Without a screen context, a screen resolution, the font or its
  // metrics there is nothing to render. The set-up then still completes
  // (layout, start position, bFontDownloaded) with an empty text and sends
  // no font descriptor: its cell sizes would come from absent metrics, and
  // a font without characters draws nothing anyway. Later pages name the
  // undefined font 16300, which the printer ignores, and draw no labels.
  const HGDIOBJ font =
      screen && logPixels > 0 ? gdi.CreateFontIndirectW(&state.workFont) : nullptr;
  const HGDIOBJ previous = font ? gdi.SelectObject(screen, font) : nullptr;
  TEXTMETRICW tm{};
  const bool rasterise = previous && gdi.GetTextMetricsW(screen, &tm) != kFalse;
  if (!rasterise) Trace(u"Watermark text left out: the font cannot be rendered\n", {});

  // The codes decide where an over-long text is cut, and the extent is
  // measured over the characters kept, so that what prints is centred.
  const std::size_t count = AssignCharacterCodes(state.table, rasterise ? text : u"");
  SIZE extent{0, 0};
  if (rasterise && !gdi.GetTextExtentPoint32W(screen, text, static_cast<int>(count), &extent)) {
    extent = SIZE{0, 0};  // unmeasured: the text starts at the page's centre
  }
  const POINT start = CenteredStart(scale.pageWidth, scale.pageHeight, layout.angle, extent);

  if (rasterise) DownloadFontHeader(ctx, &tm, &state.workFont);
  ctx.bFontDownloaded = 1;
  // In a stored job the font lives in this page's file.
  ctx.dwFontPage = StoresPages(ctx) ? ctx.cPages : 0;

  const POINT offset = OffsetInDots(def, resolution, scale.ratio);
  Trace(u"WMStr40[%d,%d],Center:%d\n", {offset.x, offset.y, def.centerToPage});
  ctx.lWaterX = ClampToInt32(int64_t{start.x} + offset.x);
  ctx.lWaterY = ClampToInt32(int64_t{start.y} + offset.y);

  if (rasterise) RenderCharacters(ctx, state.table, gdi, screen, rotation);

  if (previous) gdi.SelectObject(screen, previous);
  if (font) gdi.DeleteObject(font);
  if (screen) gdi.ReleaseDC(screen);
}

}  // namespace pclspool
