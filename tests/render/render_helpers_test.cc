// The render-test helpers on pages drawn here, pixel by pixel: no
// interpreter needed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <string>
#include <vector>

#include "support/render/bitmap_match.h"
#include "support/render/blobs.h"
#include "support/render/numbered_pages.h"
#include "support/render/page_compare.h"
#include "support/render/page_image.h"

namespace pclspool::render {
namespace {

PageImage Blank(int w, int h) { return {w, h, std::vector<uint8_t>(static_cast<std::size_t>(w) * h, 255)}; }

void Fill(PageImage* page, const Box& box, uint8_t grey = 0) {
  for (int y = box.top; y < box.bottom; ++y) {
    for (int x = box.left; x < box.right; ++x) page->pixels[static_cast<std::size_t>(y) * page->width + x] = grey;
  }
}

std::string Pgm(int w, int h, const std::string& pixels, const std::string& comment = "") {
  return "P5\n" + comment + std::to_string(w) + " " + std::to_string(h) + "\n255\n" + pixels;
}

TEST(PageImage, ReadsImagesBackToBackAndRefusesBadOnes) {
  struct Case {
    const char* name;
    std::string bytes;
    std::size_t pages;
    std::string error;  // a part of it
  } cases[] = {
      {"nothing", "", 0, ""},
      {"two images, a comment in the header",
       Pgm(2, 1, std::string("\x00\xFF", 2), "# gpcl6\n") + Pgm(1, 2, "ab"), 2, ""},
      {"not P5", "P2\n1 1\n255\n0", 0, "x, image 1: not a binary PGM"},
      {"16-bit", Pgm(1, 1, "ab").replace(7, 3, "65535"), 0, "bad header"},
      {"too wide", Pgm(kMaxPageSide + 1, 1, ""), 0, "bad header"},
      {"pixels cut short", Pgm(1, 1, "a") + Pgm(3, 3, "abc"), 1, "x, image 2: 9 pixel bytes expected, 3 left"},
      {"header without its blank", "P5 1 1 255", 0, "not ended by a blank"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PageImages read = ParsePgmImages(c.bytes, "x");
    EXPECT_EQ(read.pages.size(), c.pages);
    if (c.error.empty()) {
      EXPECT_EQ(read.error, "");
    } else {
      EXPECT_NE(read.error.find(c.error), std::string::npos) << read.error;
    }
  }
  const PageImages two = ParsePgmImages(cases[1].bytes, "x");
  ASSERT_EQ(two.pages.size(), 2u);
  EXPECT_EQ(two.pages[0].At(0, 0), 0);
  EXPECT_EQ(two.pages[0].At(1, 0), 255);
  EXPECT_EQ(two.pages[1].width, 1);
  EXPECT_EQ(two.pages[1].At(0, 1), 'b');
}

TEST(PageImage, ComparesPagesAndFindsInk) {
  const PageImage blank = Blank(20, 10);
  PageImage two_dots = blank;
  Fill(&two_dots, {3, 2, 4, 3});
  Fill(&two_dots, {15, 7, 16, 8}, 200);  // light grey: a difference, but no ink
  struct Case {
    const char* name;
    PageImage a, b;
    PageDiff diff;
  } cases[] = {
      {"the same page", two_dots, two_dots, {true, 0, {}}},
      {"two pixels apart", blank, two_dots, {true, 2, {3, 2, 16, 8}}},
      {"other sizes", blank, Blank(10, 20), {false, 200, {0, 0, 20, 20}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PageDiff d = ComparePages(c.a, c.b);
    EXPECT_EQ(d.same_size, c.diff.same_size);
    EXPECT_EQ(d.pixels, c.diff.pixels);
    EXPECT_EQ(d.box, c.diff.box);
  }
  EXPECT_TRUE(InkBox(blank).Empty());
  EXPECT_EQ(InkBox(two_dots), (Box{3, 2, 4, 3}));
  EXPECT_EQ(InkBox(two_dots, 200), (Box{3, 2, 16, 8}));
  EXPECT_EQ(InkPixels(two_dots, {0, 0, 100, 100}, 200), 2u);
}

TEST(PageImage, FindsBlobs) {
  PageImage page = Blank(40, 30);
  Fill(&page, {2, 2, 5, 5});  // a solid square
  // An outline 20 x 10.
  Fill(&page, {10, 5, 30, 6});
  Fill(&page, {10, 14, 30, 15});
  Fill(&page, {10, 5, 11, 15});
  Fill(&page, {29, 5, 30, 15});
  // Two pixels touching at a corner: one blob.
  Fill(&page, {2, 20, 3, 21});
  Fill(&page, {3, 21, 4, 22});
  Fill(&page, {35, 25, 36, 26});  // a speck
  const std::vector<Blob> blobs = FindBlobs(page, kInkLevel, 2);
  ASSERT_EQ(blobs.size(), 3u);
  EXPECT_EQ(blobs[0].box, (Box{2, 2, 5, 5}));
  EXPECT_EQ(blobs[0].pixels, 9u);
  EXPECT_DOUBLE_EQ(blobs[0].Fill(), 1.0);
  EXPECT_EQ(blobs[1].box, (Box{10, 5, 30, 15}));
  EXPECT_EQ(blobs[1].pixels, 56u);
  EXPECT_LT(blobs[1].Fill(), 0.3);
  EXPECT_EQ(blobs[2].box, (Box{2, 20, 4, 22}));
  EXPECT_EQ(FindBlobs(page).size(), 4u);
}

TEST(PageImage, FindsABitmapWherePrinted) {
  // An L, 9 x 6: a bar down the left, a bar along the bottom.
  Bitmap glyph{9, 6, std::vector<uint8_t>(12, 0)};
  for (int y = 0; y < 6; ++y) glyph.bits[y * 2] |= 0x80;
  glyph.bits[5 * 2] = 0xFF;
  glyph.bits[5 * 2 + 1] = 0x80;
  PageImage page = Blank(30, 20);
  Fill(&page, {5, 7, 6, 13});
  Fill(&page, {5, 12, 14, 13});
  PageImage shaded = page;  // every other pixel of the glyph printed
  for (int y = 0; y < 20; ++y) {
    for (int x = (y % 2); x < 30; x += 2) shaded.pixels[y * 30 + x] = 255;
  }
  struct Case {
    const char* name;
    const PageImage& page;
    int x, y;
    double tolerance;
    bool printed;
  } cases[] = {
      {"in place", page, 5, 7, 0.02, true},
      {"one pixel right", page, 6, 7, 0.02, false},
      {"off the page", page, 25, 17, 0.5, false},
      {"shaded, strict", shaded, 5, 7, 0.02, false},
      {"shaded, half its bits", shaded, 5, 7, 0.6, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(PrintedAt(c.page, glyph, c.x, c.y, c.tolerance), c.printed);
  }
  const BitmapMatch m = MatchBitmap(shaded, glyph, 5, 7);
  EXPECT_EQ(m.set, 14u);
  EXPECT_EQ(m.stray_ink, 0u);
  EXPECT_EQ(m.unprinted, 7u);
  EXPECT_EQ(FindPrinted(page, glyph, 3, 4, 3), (Point{5, 7}));
  EXPECT_EQ(FindPrinted(page, glyph, 3, 4, 1), std::nullopt);
}

// The numbered-pages document drawn in points: a sheet `w` x `h` pixels,
// page k placed at `origin` (pixels) at `scale` pixels a point, turned
// `quarters` quarter turns clockwise.
struct Placement {
  std::vector<int> pages;
  double x, y, scale;
  int quarters;
  bool marker = true;
};

void DrawPage(PageImage* sheet, const Placement& p) {
  const auto turn = [&](double x, double y) -> std::pair<double, double> {
    switch (p.quarters) {
      case 1: return {842 - y, x};  // the page's top to the right
      case 2: return {595 - x, 842 - y};
      case 3: return {y, 595 - x};
      default: return {x, y};
    }
  };
  const auto px = [&](double v, double at) { return static_cast<int>(std::lround(at + v * p.scale)); };
  const auto rect = [&](double left, double top, double w, double h) {
    const auto [ax, ay] = turn(left, top);
    const auto [bx, by] = turn(left + w, top + h);
    Fill(sheet, {px(std::min(ax, bx), p.x), px(std::min(ay, by), p.y), px(std::max(ax, bx), p.x),
                 px(std::max(ay, by), p.y)});
  };
  rect(37, 37, 521, 6);
  rect(37, 799, 521, 6);
  rect(37, 37, 6, 768);
  rect(552, 37, 6, 768);
  if (p.marker) rect(52, 52, 30, 30);
  for (int k : p.pages) rect(90 + (k - 1) % 3 * 160, 72 + (k - 1) / 3 * 220, 120, 120);
}

TEST(PageImage, RecognisesNumberedPagesHoweverPlaced) {
  struct Case {
    const char* name;
    int w, h;
    std::vector<Placement> placements;
    std::vector<int> pages;
  } cases[] = {
      {"one page upright", 595, 842, {{{5}, 0, 0, 1, 0}}, {5}},
      {"two pages printed over each other", 298, 421, {{{2, 7}, 0, 0, 0.5, 0}}, {2, 7}},
      {"two small pages side by side", 842, 595, {{{1}, 0, 0, 0.7, 0}, {{8}, 421, 0, 0.7, 0}},
       {1, 8}},
      {"turned a quarter", 842, 595, {{{6}, 0, 0, 0.7, 1}}, {6}},
      {"upside down", 595, 842, {{{3, 9}, 0, 0, 1, 2}}, {3, 9}},
      {"turned the other way", 842, 595, {{{4}, 0, 0, 0.7, 3}}, {4}},
      {"a frame without its corner square", 595, 842, {{{6}, 0, 0, 1, 0, false}}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PageImage sheet = Blank(c.w, c.h);
    for (const Placement& p : c.placements) DrawPage(&sheet, p);
    EXPECT_EQ(PagesOnSheet(sheet), c.pages);
  }
}

}  // namespace
}  // namespace pclspool::render
