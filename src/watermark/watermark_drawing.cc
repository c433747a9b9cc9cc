#include "watermark/watermark_drawing.h"

#include "job/clamp.h"
#include "watermark/pcl_command.h"
#include "watermark/soft_font.h"
#include "watermark/watermark_definition.h"
#include "watermark/watermark_layout.h"

namespace pclspool {

namespace {

// HP-GL/2 plotter units.
constexpr int64_t kPlotterUnitsPerInch = 1016;

// The grey level of darkness 0; every step of darkness takes 6 off it.
constexpr int64_t kBaseGrey = 191;
constexpr int64_t kGreyPerDark = 6;

}  // namespace

void SetWatermarkShading(JobContext& ctx, int32_t grey) {
  // The product first, the division truncating toward zero. The level is
  // sent as it comes, outside 0..100 included.
  const int64_t level = (255 - int64_t{grey}) * 100 / 255;
  SendCommand(ctx, "FT10,%d;CF2;", {level});
}

void DrawWatermarkChar(JobContext& ctx, int64_t x, int64_t y, const GlyphEntry& entry,
                       int32_t pageWidth, int32_t pageHeight) {
  // Both bounds inclusive, and no lower bound: a pen left of or above the
  // page still draws.
  if (x > pageWidth || y > pageHeight) return;
  const int64_t resolution = ctx.dm.dmYResolution;
  if (resolution <= 0) return;
  // Plotter y runs up from the bottom of the page.
  const int64_t px = x * kPlotterUnitsPerInch / resolution;
  const int64_t py = (pageHeight - y) * kPlotterUnitsPerInch / resolution;
  SendCommand(ctx, "PA%ld,%ld;LB%c!;", {ClampToInt32(px), ClampToInt32(py), entry.code});
}

void ReclaimWatermarkState(JobContext& ctx) {
  if (!ctx.bFontDownloaded || WatermarkStateBelongsTo(ctx)) return;
  const char16_t* text = SelectWatermarkText(WaterIdx(ctx));
  // The settings file may have been edited since the job sent its font:
  // with no text, or another definition, the font in the printer does not
  // match, and the page is handled like a first page.
  if (!text || WatermarkKey(text) != ctx.dwWatermarkKey) {
    ctx.bFontDownloaded = 0;
    return;
  }
  WatermarkSetup(ctx, text, FontDownload::kAlreadySent);
}

BOOL WatermarkEndPage(JobContext& ctx) {
  // Every label position divides by the resolution: without one the page
  // gets no watermark at all.
  if (ctx.dm.dmYResolution <= 0) return kTrue;

  const char16_t* text = nullptr;
  if (!ctx.bFontDownloaded) {
    text = SelectWatermarkText(WaterIdx(ctx));
    // No text: nothing for this page, and the next page tries again.
    if (!text) return kTrue;
  }

  SendLiteral(ctx, "\x1B*v0N");  // source transparent
  SendLiteral(ctx, "\x1B*v0O");  // pattern transparent
  SendLiteral(ctx, "\x1B&l240O");
  if (!ctx.bFontDownloaded) WatermarkSetup(ctx, text);
  DownloadFontHeader(ctx, nullptr, nullptr);

  // Enter HP-GL/2 at the previous pen position, initialise, pen 1, "!" ends
  // labels, font 16300 as the primary font, and use it.
  SendCommand(ctx, "\x1B%%0BIN;SP1;DT!;FI%d;SS;", {kSoftFontId});
  SetWatermarkShading(ctx, ClampToInt32(kBaseGrey - kGreyPerDark * WatermarkLayout.dark));

  // Two-up and four-up cells all start the text at the same position
  // within the sheet, whichever cell the page occupies.
  int64_t x = ctx.lWaterX;
  int64_t y = ctx.lWaterY;
  for (std::size_t i = 0; i < kCharacterTableEntries && CharacterTable[i].code != 0; ++i) {
    const GlyphEntry& e = CharacterTable[i];
    if (e.skip == 0) {
      DrawWatermarkChar(ctx, x, y, e, WatermarkLayout.pageWidth, WatermarkLayout.pageHeight);
    }
    x += e.advanceX;
    y += e.advanceY;
  }

  // The default label terminator, and back to PCL at the previous cursor.
  SendLiteral(ctx, "DT;\x1B%0A");
  return kTrue;
}

}  // namespace pclspool
