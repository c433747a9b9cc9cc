#include "watermark/glyph_rendering.h"

#include "job/trace.h"
#include "watermark/soft_font.h"

namespace pclspool {

namespace {

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

// Ends the text at entry i, saying why.
void EndText(GlyphEntry& e, std::size_t i, const char16_t* why) {
  Trace(u"Watermark text cut at character %d (U+%04X): %ws\n",
        {static_cast<int64_t>(i + 1), e.character, why});
  e = GlyphEntry{};
}

}  // namespace

void RenderCharacters(JobContext& ctx, GlyphEntry* table, platform::Text& gdi, HDC screen,
                      const MAT2& rotation) {
  ScratchBuffer scratch;
  for (std::size_t i = 0; table[i].code != 0; ++i) {
    GlyphEntry& e = table[i];
    if (e.code != kFirstCharCode + static_cast<int32_t>(i)) {
      const GlyphEntry& first = table[e.code - kFirstCharCode];
      e.advanceX = first.advanceX;
      e.advanceY = first.advanceY;
      e.skip = first.skip;
      e.metrics = first.metrics;
      continue;
    }
    GLYPHMETRICS gm{};
    const DWORD n =
        gdi.GetGlyphOutlineW(screen, e.character, GGO_BITMAP, &gm, 0, nullptr, &rotation);
    if (n == GDI_ERROR) {
      EndText(e, i, u"the rasteriser cannot render it");
      break;
    }
    if (!scratch.Reserve(n)) {
      EndText(e, i, u"no memory for its bitmap");
      break;
    }
    const DWORD r =
        gdi.GetGlyphOutlineW(screen, e.character, GGO_BITMAP, &gm, n, scratch.data(), &rotation);
    // The soft font reads padded rows times rows bytes of the bitmap: a
    // second call that fails or metrics that claim more than was delivered
    // end the text like a first call that fails.
    if (r == GDI_ERROR || (r != 0 && (r > n || BitmapBytes(gm) > n))) {
      EndText(e, i, u"the rasteriser cannot render it");
      break;
    }
    e.advanceX = gm.gmCellIncX;
    e.advanceY = gm.gmCellIncY;
    e.metrics = gm;
    if (r != 0) {
      DownloadChar(ctx, e.code, gm, scratch.data());
      e.skip = 0;
    } else {
      e.skip = 1;  // a blank: no bitmap, but its advance moves the pen
    }
  }
}

}  // namespace pclspool
