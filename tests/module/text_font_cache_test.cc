// fontconfig's answers are kept per process: a font created through a
// PosixText that has answered other requests before must be the font a
// fresh PosixText creates for the same LOGFONTW, and a face mapped later
// must still win over a kept answer.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/posix_text.h"

namespace pclspool::posix {
namespace {

LOGFONTW Font(const char16_t* face, LONG height, LONG weight, BYTE italic = 0,
              BYTE pitch_and_family = 0) {
  LOGFONTW lf{};
  lf.lfHeight = height;
  lf.lfWeight = weight;
  lf.lfItalic = italic;
  lf.lfPitchAndFamily = pitch_and_family;
  std::memcpy(lf.lfFaceName, face, std::char_traits<char16_t>::length(face) * sizeof(char16_t));
  return lf;
}

// The metrics and the 45-degree bitmap of 'A' in the font lf asks for.
struct Rendering {
  bool created = false;
  TEXTMETRICW tm{};
  GLYPHMETRICS gm{};
  std::vector<uint8_t> bits;
};

Rendering Render(PosixText& text, const LOGFONTW& lf) {
  Rendering r;
  const HDC dc = text.GetDC();
  const HGDIOBJ font = text.CreateFontIndirectW(&lf);
  if (font) {
    r.created = true;
    const HGDIOBJ old = text.SelectObject(dc, font);
    text.GetTextMetricsW(dc, &r.tm);
    const MAT2 m{{46340, 0}, {46340, 0}, {static_cast<WORD>(-46340 & 0xFFFF), -1}, {46340, 0}};
    const DWORD n = text.GetGlyphOutlineW(dc, u'A', GGO_BITMAP, &r.gm, 0, nullptr, &m);
    if (n != GDI_ERROR && n > 0) {
      r.bits.resize(n);
      text.GetGlyphOutlineW(dc, u'A', GGO_BITMAP, &r.gm, n, r.bits.data(), &m);
    }
    text.SelectObject(dc, old);
    text.DeleteObject(font);
  }
  text.ReleaseDC(dc);
  return r;
}

TEST(TextFontCacheTest, KeptAnswersGiveTheFontAFreshLookupGives) {
  PosixText kept;
  if (!Render(kept, Font(u"Arial", -96, 400)).created) GTEST_SKIP() << "fontconfig finds no font";
  constexpr BYTE kRoman = 0x10, kModern = 0x30, kFixed = 0x01;
  struct Case {
    const char* name;
    LOGFONTW lf;
  } cases[] = {
      {"the same request again", Font(u"Arial", -96, 400)},
      {"another height of the same face", Font(u"Arial", -200, 400)},
      {"bold", Font(u"Arial", -96, 700)},
      {"italic", Font(u"Arial", -96, 400, 1)},
      {"bold italic", Font(u"Arial", -96, 700, 1)},
      {"another face", Font(u"Courier New", -96, 400)},
      {"no face, roman family", Font(u"", -96, 400, 0, kRoman)},
      {"no face, fixed pitch", Font(u"", -96, 400, 0, kModern | kFixed)},
      {"the first request after all others", Font(u"Arial", -96, 400)},
  };
  for (const Case& c : cases) {
    PosixText fresh;
    const Rendering want = Render(fresh, c.lf);
    const Rendering got = Render(kept, c.lf);
    ASSERT_EQ(got.created, want.created) << c.name;
    EXPECT_EQ(std::memcmp(&got.tm, &want.tm, sizeof(TEXTMETRICW)), 0) << c.name;
    EXPECT_EQ(std::memcmp(&got.gm, &want.gm, sizeof(GLYPHMETRICS)), 0) << c.name;
    EXPECT_EQ(got.bits, want.bits) << c.name;
  }

  // A mapped face uses its file and nothing else, answer kept or not.
  kept.MapFace(u"Arial", "/nonexistent/font.ttf");
  EXPECT_FALSE(Render(kept, Font(u"Arial", -96, 400)).created);
}

}  // namespace
}  // namespace pclspool::posix
