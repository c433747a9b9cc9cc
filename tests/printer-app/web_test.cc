// The web page of the settings file without a browser: its rules while no
// password is set, and its picture of a watermark against what the printer
// prints of the same watermark (gpcl6 on the device stream).
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>

#include "app_fixture.h"
#include "http_get.h"
#include "render/page_compare.h"

namespace pclspool::apptest {
namespace {

// The grey picture of a PNG as the app writes it (8-bit grey, filter 0).
render::PageImage DecodePng(const std::string& png, std::string* error) {
  render::PageImage image;
  std::string idat;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const auto u32 = [&](std::size_t i) {
      return static_cast<uint32_t>(static_cast<uint8_t>(png[i])) << 24 |
             static_cast<uint32_t>(static_cast<uint8_t>(png[i + 1])) << 16 |
             static_cast<uint32_t>(static_cast<uint8_t>(png[i + 2])) << 8 |
             static_cast<uint8_t>(png[i + 3]);
    };
    const uint32_t length = u32(at);
    const std::string type = png.substr(at + 4, 4);
    if (type == "IHDR") {
      image.width = static_cast<int>(u32(at + 8));
      image.height = static_cast<int>(u32(at + 12));
    }
    if (type == "IDAT") idat += png.substr(at + 8, length);
    at += 12 + length;
  }
  std::string raw(static_cast<std::size_t>(image.width + 1) * image.height, '\0');
  uLongf size = raw.size();
  if (image.width <= 0 || uncompress(reinterpret_cast<Bytef*>(raw.data()), &size,
                                     reinterpret_cast<const Bytef*>(idat.data()), idat.size()) != Z_OK) {
    *error = "not a PNG of the app's";
    return {};
  }
  for (int y = 0; y < image.height; ++y) {
    const std::size_t row = static_cast<std::size_t>(y) * (image.width + 1);
    if (raw[row] != 0) *error = "a row with a filter";
    image.pixels.insert(image.pixels.end(), raw.begin() + static_cast<std::ptrdiff_t>(row + 1),
                        raw.begin() + static_cast<std::ptrdiff_t>(row + 1 + image.width));
  }
  return image;
}

class WebTest : public AppTest {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(server_.state_dir());
    std::filesystem::copy_file(std::filesystem::path(PCLSPOOL_EXAMPLES) / "OrvWater.INI",
                               server_.state_dir() / "OrvWater.INI");
    AppTest::SetUp();
  }
};

TEST_F(WebTest, RefusesEveryChangeWhileNoPasswordIsSet) {
  const std::string before = Read(server_.state_dir() / "OrvWater.INI");
  const HttpResponse page = HttpRequest(server_.port(), "/watermarks");
  ASSERT_EQ(page.status, 200);
  EXPECT_NE(page.body.find("CONFIDENTIAL"), std::string::npos);
  EXPECT_EQ(page.body.find("value=\"save\""), std::string::npos) << "no form to change anything";
  for (const char* form : {"action=delete&replaces=DRAFT", "action=save&text=NEW&face=Arial&height=-90&angle=0&weight=400&dark=0"}) {
    EXPECT_EQ(HttpRequest(server_.port(), "/watermarks", form).status, 403) << form;
  }
  EXPECT_EQ(Read(server_.state_dir() / "OrvWater.INI"), before);
}

// The picture is the page the printer prints: its inked places, cell by
// cell, are where gpcl6 inks the printed blank page with the watermark.
TEST_F(WebTest, PictureOfAWatermarkIsWhatThePrinterPrints) {
  constexpr int kDpi = 60;  // the picture's
  constexpr int kCell = 6;  // pixels a side: shading patterns even out
  constexpr int kPaper = 235;  // a cell's mean grey below this is inked
  const HttpResponse picture = HttpRequest(
      server_.port(),
      "/watermarks/preview.png?text=CONFIDENTIAL&face=Arial&height=-96&angle=450&weight=700&dark=2"
      "&centred=1&x=0&y=0");
  ASSERT_EQ(picture.status, 200) << picture.body;
  EXPECT_EQ(picture.type, "image/png");
  std::string error;
  const render::PageImage preview = DecodePng(picture.body, &error);
  ASSERT_EQ(error, "");

  const std::filesystem::path blank = dir_ / "blank.pcl";
  std::ofstream(blank) << "\x1b" "E\x1b&l26A\f";  // A4, as the picture's
  ASSERT_EQ(Print({"marked", blank, "application/vnd.hp-pcl", {"keyword watermark confidential"}, true})
                .state,
            "completed");
  const render::PageImages printed = render::RenderPages(Output("marked"), kDpi);
  ASSERT_EQ(printed.pages.size(), 1u) << printed.error;
  const render::PageImage& page = printed.pages[0];
  ASSERT_EQ(page.width, preview.width);
  ASSERT_EQ(page.height, preview.height);

  // A cell is inked when its mean grey is well below paper's. The two
  // shade their glyphs differently, so a cell at a glyph's edge may be
  // inked in one alone: a cell inked in one is misplaced only when the
  // other inks no cell around it.
  const int columns = page.width / kCell;
  const int rows = page.height / kCell;
  const auto inked = [&](const render::PageImage& image) {
    std::vector<bool> cells(static_cast<std::size_t>(columns) * rows);
    for (int cy = 0; cy < rows; ++cy) {
      for (int cx = 0; cx < columns; ++cx) {
        int sum = 0;
        for (int y = cy * kCell; y < (cy + 1) * kCell; ++y) {
          for (int x = cx * kCell; x < (cx + 1) * kCell; ++x) sum += image.At(x, y);
        }
        cells[static_cast<std::size_t>(cy) * columns + cx] = sum < kPaper * kCell * kCell;
      }
    }
    return cells;
  };
  const std::vector<bool> in_picture = inked(preview);
  const std::vector<bool> in_print = inked(page);
  const auto near = [&](const std::vector<bool>& cells, int cx, int cy) {
    for (int y = std::max(0, cy - 1); y <= std::min(rows - 1, cy + 1); ++y) {
      for (int x = std::max(0, cx - 1); x <= std::min(columns - 1, cx + 1); ++x) {
        if (cells[static_cast<std::size_t>(y) * columns + x]) return true;
      }
    }
    return false;
  };
  std::size_t both = 0, only_picture = 0, only_printed = 0;
  for (int cy = 0; cy < rows; ++cy) {
    for (int cx = 0; cx < columns; ++cx) {
      const std::size_t i = static_cast<std::size_t>(cy) * columns + cx;
      both += in_picture[i] && in_print[i];
      only_picture += in_picture[i] && !near(in_print, cx, cy);
      only_printed += in_print[i] && !near(in_picture, cx, cy);
    }
  }
  EXPECT_GT(both, 100u);
  EXPECT_LE(only_picture, both / 50) << both << " cells inked in both";
  EXPECT_LE(only_printed, both / 50) << both << " cells inked in both";
  EXPECT_EQ(render::InkBox(preview, 224).left / kCell, render::InkBox(page).left / kCell);
}

}  // namespace
}  // namespace pclspool::apptest
