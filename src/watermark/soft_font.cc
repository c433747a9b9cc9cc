#include "watermark/soft_font.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <vector>

#include "job/output.h"
#include "job/trace.h"
#include "watermark/class2_encoder.h"
#include "watermark/pcl_command.h"

namespace pclspool {

namespace {

constexpr std::size_t kFontDescriptorBytes = 68;
constexpr std::size_t kCharDescriptorBytes = 16;
constexpr std::size_t kContinuationBytes = 2;
constexpr std::size_t kFontNameOffset = 48;
constexpr std::size_t kFontNameChars = 15;  // of 16 bytes; the last stays 0
// Rows of this many bytes or more go compressed (class 2).
constexpr std::size_t kClass2RowBytes = 20;
// Character data travels in blocks of at most this many bytes, which keeps
// every "\x1B(s%dW" count at 16400 or less.
constexpr std::size_t kBlockBytes = 16384;
// The descriptors carry a glyph's size as 16-bit numbers and the encoder
// takes signed 16-bit widths; the rasteriser never delivers more.
constexpr uint32_t kMaxGlyphPixels = 32767;

// The class 2 data of the current glyph. Module-level and only growing:
// once it takes the largest glyph seen, no glyph allocates.
std::vector<uint8_t> g_class2_data;

// Stores the low 16 bits of v, most significant byte first.
void Put16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

// Unsigned arithmetic keeps the low 16 bits of the scaled values without
// signed overflow; they are the bits a 32-bit product would have.
uint32_t U(int32_t v) { return static_cast<uint32_t>(v); }

void BuildFontDescriptor(const JobContext& ctx, const TEXTMETRICW& tm, const LOGFONTW& font,
                         uint8_t* d) {
  std::memset(d, 0, kFontDescriptorBytes);
  Put16(d + 0, kFontDescriptorBytes);
  d[2] = 20;  // header format: resolution-specified bitmap
  d[3] = 2;   // font type: 8-bit, 256 codes
  Put16(d + 6, U(tm.tmAscent));
  Put16(d + 8, U(tm.tmMaxCharWidth));
  Put16(d + 10, U(tm.tmHeight));
  d[13] = 1;                                // proportional spacing
  Put16(d + 14, 309);                       // symbol set 9U
  Put16(d + 16, U(tm.tmAveCharWidth) * 4);  // quarter-dots
  Put16(d + 18, U(tm.tmHeight) * 4);
  Put16(d + 20, U(tm.tmHeight) * 3);  // three quarters of the cell height
  d[25] = 254;                        // typeface LSB
  Put16(d + 36, 31);                  // first code; the text's codes start at 34
  Put16(d + 38, 255);                 // last code
  // One byte per character of the face name; characters beyond 8 bits have
  // no byte of their own and become '?'.
  for (std::size_t i = 0; i < kFontNameChars && i < LF_FACESIZE && font.lfFaceName[i]; ++i) {
    const char16_t c = font.lfFaceName[i];
    d[kFontNameOffset + i] = c > 0xFF ? static_cast<uint8_t>('?') : static_cast<uint8_t>(c);
  }
  // Both resolutions are the job's vertical one, a signed 16-bit value.
  const auto dpi = static_cast<uint16_t>(ctx.dm.dmYResolution);
  Put16(d + 64, dpi);
  Put16(d + 66, dpi);
}

void BuildCharDescriptor(const GLYPHMETRICS& gm, uint8_t* d) {
  std::memset(d, 0, kCharDescriptorBytes);
  d[0] = 4;   // format
  d[2] = 14;  // descriptor size
  d[3] = 1;   // class 1: bitmap
  Put16(d + 6, U(gm.gmptGlyphOrigin.x));
  Put16(d + 8, U(gm.gmptGlyphOrigin.y));
  Put16(d + 10, gm.gmBlackBoxX);
  Put16(d + 12, gm.gmBlackBoxY);
  Put16(d + 14, static_cast<uint32_t>(std::abs(int32_t{gm.gmCellIncX})) * 4);
}

bool GrowClass2Data(std::size_t need) {
  if (g_class2_data.size() >= need) return true;
  try {
    g_class2_data.resize(need);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

}  // namespace

BOOL DownloadFontHeader(JobContext& ctx, const TEXTMETRICW* tm, const LOGFONTW* font) {
  if (!ctx.bFontDownloaded) {
    // Without metrics and face there is no descriptor to build.
    if (!tm || !font) return kFalse;
    uint8_t descriptor[kFontDescriptorBytes];
    BuildFontDescriptor(ctx, *tm, *font, descriptor);
    SendCommand(ctx, "\x1B*c%dD", {kSoftFontId});
    SendLiteral(ctx, "\x1B)s68W");
    RouteOutput(ctx, descriptor, kFontDescriptorBytes);
    // Permanent: a reset later in the job must not delete it (see
    // kSoftFontId for its end).
    return SendLiteral(ctx, "\x1B*c5F");
  }
  // No PCL selection of the font ("\x1B(0%dX"): it would make the soft
  // font the job's primary font, and text that a later page prints in a
  // font the job chose earlier would come out in watermark glyphs. The
  // labels select it in HP-GL/2 by its ID alone.
  return SendCommand(ctx, "\x1B*c%dD", {kSoftFontId});
}

void DownloadChar(JobContext& ctx, int32_t code, const GLYPHMETRICS& gm, uint8_t* bitmap) {
  const uint32_t width = gm.gmBlackBoxX;
  const uint32_t height = gm.gmBlackBoxY;
  // An empty glyph has no data, and then nothing at all is sent.
  if (!bitmap || width == 0 || height == 0) return;
  if (width > kMaxGlyphPixels || height > kMaxGlyphPixels) {
    Trace(u"Watermark character %d dropped: %u x %u pixels, more than %d a side\n",
          {code, width, height, kMaxGlyphPixels});
    return;
  }

  uint8_t descriptor[kCharDescriptorBytes];
  BuildCharDescriptor(gm, descriptor);

  // GGO_BITMAP pads every row to 32 bits; PCL takes the rows back to back.
  // Rows move down in ascending order, each to an offset no later than its
  // own, so a row can only overlap itself: memmove handles that.
  const std::size_t row_bytes = (width + 7) / 8;
  const std::size_t stride = ((width + 31) / 8) & ~std::size_t{3};
  if (stride != row_bytes) {
    for (std::size_t i = 0; i < height; ++i)
      std::memmove(bitmap + i * row_bytes, bitmap + i * stride, row_bytes);
  }

  const uint8_t* data = bitmap;
  std::size_t size = row_bytes * height;
  if (row_bytes >= kClass2RowBytes) {
    descriptor[3] = 2;  // class 2: compressed bitmap
    const auto w = static_cast<int16_t>(width);
    const auto h = static_cast<int32_t>(height);
    // A rendered glyph is solid shapes and compresses to less than its own
    // bitmap; the worst case, every row distinct and every pixel a run, is
    // about eight times the bitmap (half a gigabyte for the largest glyph
    // the rasteriser delivers). So the buffer first grows to the bitmap's
    // size, and to the worst case only for a glyph that does not fit it.
    // When the buffer cannot grow, or the encoder cannot, the character is
    // left out: sending it partly, or past a buffer, would be worse.
    const std::size_t worst = MaxCompressedSize(w, h);
    const std::size_t likely = std::min(worst, size);
    bool room = GrowClass2Data(likely);
    if (room) size = CompressBitmap(bitmap, w, h, g_class2_data.data(), g_class2_data.size());
    if (room && size == 0 && g_class2_data.size() < worst) {
      room = GrowClass2Data(worst);
      if (room) size = CompressBitmap(bitmap, w, h, g_class2_data.data(), g_class2_data.size());
    }
    if (!room || size == 0) {
      Trace(u"Watermark character %d dropped: no memory to compress its %u x %u pixels\n",
            {code, width, height});
      return;
    }
    data = g_class2_data.data();
  }

  SendCommand(ctx, "\x1B*c%dE", {code});
  static constexpr uint8_t kContinuation[kContinuationBytes] = {4, 1};
  for (std::size_t offset = 0; offset < size;) {
    const std::size_t block = std::min(kBlockBytes, size - offset);
    const bool first = offset == 0;
    const std::size_t header = first ? kCharDescriptorBytes : kContinuationBytes;
    SendCommand(ctx, "\x1B(s%dW", {header + block});
    RouteOutput(ctx, first ? descriptor : kContinuation, static_cast<DWORD>(header));
    RouteOutput(ctx, data + offset, static_cast<DWORD>(block));
    offset += block;
  }
}

}  // namespace pclspool
