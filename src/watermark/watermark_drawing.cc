#include "watermark/watermark_drawing.h"

#include <algorithm>

#include "job/clamp.h"
#include "job/paper.h"
#include "job/settings.h"
#include "job/sheet_layout.h"
#include "job/trace.h"
#include "watermark/pcl_command.h"
#include "watermark/soft_font.h"
#include "watermark/watermark_definition.h"
#include "watermark/watermark_setup.h"
#include "watermark/watermark_state.h"

namespace pclspool {

namespace {

// HP-GL/2 plotter units.
constexpr int64_t kPlotterUnitsPerInch = 1016;

// The grey level of darkness 0; every step of darkness takes 6 off it.
constexpr int64_t kBaseGrey = 191;
constexpr int64_t kGreyPerDark = 6;

// The picture frame is given in decipoints.
constexpr int64_t kDecipointsPerInch = 720;

// The watermark of a page is one macro, defined, called once and deleted.
// Its ID is the soft font's, a number no driver output we know of uses.
constexpr int kWatermarkMacroId = kSoftFontId;

int64_t ToDecipoints(int64_t dots, int64_t resolution) {
  return (dots * kDecipointsPerInch + resolution / 2) / resolution;
}

}  // namespace

LabelPlacement PlaceLabels(const JobContext& ctx, const WatermarkLayoutRecord& layout) {
  const int32_t resolution = ctx.dm.dmYResolution;
  const SheetJob job = SheetJobOf(ctx);
  const SheetLayout sheet = LayoutSheet(job);
  const Paper* paper = PaperOf(sheet.sheetWidth, sheet.sheetHeight, ctx);
  if (!paper) paper = &DefaultPaper();
  const int32_t offset =
      LogicalPageOffset(*paper, sheet.sheetWidth > sheet.sheetHeight, resolution);

  // The text is laid out on its page; the page sits in its cell. An n-up
  // cell is the laid-out page itself; a booklet page is laid out full size
  // and shrunk into its half, so its text is centred on the half.
  const CellOrigin cell = OriginOfCell(sheet, CellOfPage(job, ctx.cPages));
  LabelPlacement p{};
  p.dx = int64_t{cell.x} + (int64_t{sheet.cellWidth} - layout.pageWidth) / 2 - offset;
  p.dy = int64_t{cell.y} + (int64_t{sheet.cellHeight} - layout.pageHeight) / 2;
  p.frameWidth = std::max<int64_t>(int64_t{sheet.sheetWidth} - offset, 1);
  p.frameHeight = std::max<int64_t>(sheet.sheetHeight, 1);
  return p;
}

void SetWatermarkShading(JobContext& ctx, int32_t grey) {
  // The product first, the division truncating toward zero, the level then
  // held to 0..100: printers reject a shading level outside it and fill
  // the labels solid, so a light watermark would print black.
  const int64_t level = std::clamp<int64_t>((255 - int64_t{grey}) * 100 / 255, 0, 100);
  SendCommand(ctx, "FT10,%d;CF2;", {level});
}

void DrawWatermarkChar(JobContext& ctx, int64_t x, int64_t y, const GlyphEntry& entry,
                       int32_t pageWidth, int32_t pageHeight, const LabelPlacement& at) {
  // Both bounds inclusive, and no lower bound: a pen left of or above the
  // page still draws.
  if (x > pageWidth || y > pageHeight) return;
  const int64_t resolution = ctx.dm.dmYResolution;
  if (resolution <= 0) return;
  // Plotter y runs up from the bottom of the picture frame.
  const int64_t px = (x + at.dx) * kPlotterUnitsPerInch / resolution;
  const int64_t py = (at.frameHeight - (y + at.dy)) * kPlotterUnitsPerInch / resolution;
  SendCommand(ctx, "PA%ld,%ld;LB%c!;", {ClampToInt32(px), ClampToInt32(py), entry.code});
}

// What the watermark changes, and how each is left as the job had it: the
// whole watermark is the body of a macro that is called once (ESC & f 3 X)
// and deleted, and a called macro runs in a copy of the print environment
// that is thrown away when it returns. So the transparency modes, the top
// margin, the picture frame and its anchor, the current font ID and
// character code of the downloads, and the whole HP-GL/2 state (pen, pen
// position, fill, label terminator, font, scaling) are the job's again
// after the call; the cursor is pushed and popped inside the body as well.
// (The registration offsets are set to 0 inside the body too; a printer
// that applies them only from the next page, and restores them with the
// rest of the environment, is left as it was.)
// The font itself stays: soft fonts outlive the macro that defined them.
// The primary and secondary fonts are never selected (the labels select
// 16300 in HP-GL/2). What remains changed is the current macro ID.
BOOL WatermarkEndPage(JobContext& ctx) {
  // Every label position divides by the resolution: without one the page
  // gets no watermark at all.
  if (ctx.dm.dmYResolution <= 0) return kTrue;

  const char16_t* text = nullptr;
  WatermarkState* state = WatermarkStateOf(ctx);
  if (!ctx.bFontDownloaded) {
    text = SelectWatermarkText(WaterIdx(ctx));
    // No text: nothing for this page, and the next page tries again.
    if (!text) return kTrue;
    state = MakeWatermarkState(ctx);
    if (!state) {
      Trace(u"Watermark left out of page %d: no memory for it\n", {ctx.cPages});
      return kTrue;
    }
  }
  if (!state) return kTrue;

  SendCommand(ctx, "\x1B&f%dY", {kWatermarkMacroId});
  SendLiteral(ctx, "\x1B&f0X");  // start of the macro's definition
  SendLiteral(ctx, "\x1B&f0S");  // push the cursor
  SendLiteral(ctx, "\x1B*v0N");  // source transparent
  SendLiteral(ctx, "\x1B*v0O");  // pattern transparent
  SendLiteral(ctx, "\x1B&l240O");
  if (!ctx.bFontDownloaded) WatermarkSetup(ctx, *state, text);
  DownloadFontHeader(ctx, nullptr, nullptr);

  // A picture frame of the watermark's own: anchored at the top of the
  // logical page (top margin 0), as wide as the sheet right of it and as
  // high as the sheet, so that plotter positions are known whatever frame
  // the job left. The job's registration offsets (Ghostscript's LaserJet
  // drivers shift the logical page by ESC & l # U and # Z) are set to 0
  // for the macro as well: the layout's positions are the paper's.
  const WatermarkLayoutRecord& layout = state->layout;
  const LabelPlacement at = PlaceLabels(ctx, layout);
  const int64_t resolution = ctx.dm.dmYResolution;
  SendLiteral(ctx, "\x1B&l0u0Z\x1B&l0E\x1B*p0x0Y\x1B*c0T");
  SendCommand(ctx, "\x1B*c%ldx%ldY",
              {ClampToInt32(ToDecipoints(at.frameWidth, resolution)),
               ClampToInt32(ToDecipoints(at.frameHeight, resolution))});

  // Enter HP-GL/2 at the previous pen position, initialise, pen 1, "!" ends
  // labels, font 16300 as the primary font, and use it.
  SendCommand(ctx, "\x1B%%0BIN;SP1;DT!;FI%d;SS;", {kSoftFontId});
  SetWatermarkShading(ctx, ClampToInt32(kBaseGrey - kGreyPerDark * layout.dark));

  // The text starts at the same position on every page; on an n-up sheet
  // or a booklet side the placement moves it into the page's cell.
  int64_t x = ctx.lWaterX;
  int64_t y = ctx.lWaterY;
  for (std::size_t i = 0; i < kCharacterTableEntries && state->table[i].code != 0; ++i) {
    const GlyphEntry& e = state->table[i];
    if (e.skip == 0) DrawWatermarkChar(ctx, x, y, e, layout.pageWidth, layout.pageHeight, at);
    x += e.advanceX;
    y += e.advanceY;
  }

  // The default label terminator, and back to PCL at the previous cursor.
  SendLiteral(ctx, "DT;\x1B%0A");
  SendLiteral(ctx, "\x1B&f1S");  // pop the cursor
  SendLiteral(ctx, "\x1B&f1X");  // end of the definition
  SendLiteral(ctx, "\x1B&f3X");  // call it, in a copy of the environment
  SendLiteral(ctx, "\x1B&f8X");  // and delete it
  return kTrue;
}

}  // namespace pclspool
