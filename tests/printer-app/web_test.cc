// The web pages in a real browser, headless Chromium (driven over its
// DevTools pipe by browser/watermark_page.js), as an administrator uses
// them: signs in with the password the server made, changes it on the
// Security page, adds a watermark text on the Watermarks page and sees its
// picture, and changes another through its Change link; a job printed with
// the new text then shows it where the picture does.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <vector>

#include "app_fixture.h"
#include "browser.h"
#include "http_request.h"
#include "support/render/page_image.h"

namespace pclspool::apptest {
namespace {

class WebTest : public AppTest {};

// The grey picture of a PNG as the app writes it (8-bit grey, filter 0).
render::PageImage DecodePng(const std::string& png, std::string* error) {
  render::PageImage image;
  std::string idat;
  const auto u32 = [&](std::size_t i) {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v = v << 8 | static_cast<uint8_t>(png[i + k]);
    return v;
  };
  for (std::size_t at = 8; at + 12 <= png.size(); at += 12 + u32(at)) {
    const std::string type = png.substr(at + 4, 4);
    if (type == "IHDR") image = {static_cast<int>(u32(at + 8)), static_cast<int>(u32(at + 12)), {}};
    if (type == "IDAT") idat += png.substr(at + 8, u32(at));
  }
  std::string raw(static_cast<std::size_t>(image.width + 1) * image.height, '\0');
  uLongf size = raw.size();
  if (image.width <= 0 || uncompress(reinterpret_cast<Bytef*>(raw.data()), &size,
                                     reinterpret_cast<const Bytef*>(idat.data()), idat.size()) != Z_OK) {
    *error = "not a PNG of the app's";
    return {};
  }
  for (std::size_t row = 0; row < raw.size(); row += image.width + 1) {
    if (raw[row] != 0) *error = "a row with a filter";
    image.pixels.insert(image.pixels.end(), raw.begin() + row + 1, raw.begin() + row + 1 + image.width);
  }
  return image;
}

// Empty when the picture and the printed page (same size and resolution)
// ink the same places: cells of 6 x 6 pixels, a cell inked when its mean
// grey is well below paper's, and a cell inked in one misplaced only when
// the other inks no cell around it (the two shade their glyphs
// differently, so a cell at a glyph's edge may be inked in one alone).
// Else what differs.
std::string CompareWithPrinted(const render::PageImage& picture, const render::PageImage& page) {
  constexpr int kCell = 6;     // pixels a side: shading patterns even out
  constexpr int kPaper = 235;  // a cell's mean grey below this is inked
  if (page.width != picture.width || page.height != picture.height) {
    return "the picture is " + std::to_string(picture.width) + " x " +
           std::to_string(picture.height) + ", the printed page " + std::to_string(page.width) +
           " x " + std::to_string(page.height);
  }
  const int columns = page.width / kCell, rows = page.height / kCell;
  const auto inked = [&](const render::PageImage& image, int cx, int cy) {
    int sum = 0;
    for (int y = cy * kCell; y < (cy + 1) * kCell; ++y) {
      for (int x = cx * kCell; x < (cx + 1) * kCell; ++x) sum += image.At(x, y);
    }
    return sum < kPaper * kCell * kCell;
  };
  const auto near = [&](const render::PageImage& image, int cx, int cy) {
    for (int y = std::max(0, cy - 1); y <= std::min(rows - 1, cy + 1); ++y) {
      for (int x = std::max(0, cx - 1); x <= std::min(columns - 1, cx + 1); ++x) {
        if (inked(image, x, y)) return true;
      }
    }
    return false;
  };
  std::size_t both = 0, only_picture = 0, only_printed = 0;
  for (int cy = 0; cy < rows; ++cy) {
    for (int cx = 0; cx < columns; ++cx) {
      const bool in_picture = inked(picture, cx, cy), in_print = inked(page, cx, cy);
      both += in_picture && in_print;
      only_picture += in_picture && !near(page, cx, cy);
      only_printed += in_print && !near(picture, cx, cy);
    }
  }
  if (both < 100) return "only " + std::to_string(both) + " cells inked in both";
  if (only_picture <= both / 50 && only_printed <= both / 50) return "";
  return std::to_string(only_picture) + " cells inked in the picture alone and " +
         std::to_string(only_printed) + " on the printed page alone, " + std::to_string(both) +
         " in both";
}

TEST_F(WebTest, AnAdministratorSignsInAndEditsTextsOneOfWhichPrintsWhereItsPictureShowsIt) {
  PCLSPOOL_REQUIRE_BROWSER();
  const std::filesystem::path shown = dir_ / "shown.png", first = server_.state_dir() / "admin-password";
  const std::string first_password = FirstPassword();
  const std::string browser = RunBrowserScript(
      "watermark_page.js", {"http://127.0.0.1:" + std::to_string(server_.port()), first_password,
                            "Copier2print", "Only For You", shown.string()});
  ASSERT_NE(browser.find("{\"ok\":true}"), std::string::npos) << browser;
  // The password made at the start, no longer the password, is not kept.
  EXPECT_FALSE(std::filesystem::exists(first));

  // Printed with the new text, a blank A4 page shows what the page showed.
  const std::filesystem::path blank = dir_ / "blank.pcl";
  std::ofstream(blank) << "\x1b" "E\x1b&l26A\f";
  const IppJobResult r = Print(
      {"only-for-you", blank, "application/vnd.hp-pcl", {"keyword watermark only-for-you"}, true});
  ASSERT_EQ(r.state, "completed") << r.output;
  std::string error;
  const render::PageImage picture = DecodePng(Read(shown), &error);
  ASSERT_EQ(error, "");
  const render::PageImages printed = render::RenderPages(Output("only-for-you"), 60);
  ASSERT_EQ(printed.pages.size(), 1u) << printed.error;
  EXPECT_EQ(CompareWithPrinted(picture, printed.pages[0]), "");
}

}  // namespace
}  // namespace pclspool::apptest
