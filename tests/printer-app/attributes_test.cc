// Every job attribute the copier takes, submitted with ipptool: what
// reaches the device prints the same sheets as `pclspool print` of the
// same document with the same settings. The administrator's presets are
// printers of their own whose defaults stand in for the attributes a
// client's print dialog does not show.
#include <gtest/gtest.h>

#include <functional>
#include <map>

#include "app_fixture.h"
#include "documents.h"
#include "support/render/page_compare.h"
#include "sheet_compare.h"

namespace pclspool::apptest {
namespace {

using runner::JobTicket;

constexpr int kDpi = 60;

struct AttributeCase {
  const char* name;
  std::vector<std::string> attributes;    // as ipptool's ATTR takes them
  std::function<void(JobTicket*)> ticket;  // what they ask of the runner
  const char* printer = "copier";
};

class AttributesTest : public AppTest {
 protected:
  void SetUp() override {
    PCLSPOOL_REQUIRE_APP_TOOLS();
    PCLSPOOL_REQUIRE_RENDER_TOOLS();
    ini_ = std::filesystem::path(PCLSPOOL_EXAMPLES) / "OrvWater.INI";
    std::filesystem::create_directories(server_.state_dir());
    std::filesystem::copy_file(ini_, server_.state_dir() / "OrvWater.INI");
    AppTest::SetUp();
    std::string error;
    ASSERT_TRUE(server_.AddPrinter("copier-confidential", {"watermark-default=confidential"}, &error))
        << error;
    ASSERT_TRUE(server_.AddPrinter("copier-booklet", {"booklet-default=left"}, &error)) << error;
  }
  std::filesystem::path ini_;
};

TEST_F(AttributesTest, EachPrintsAsTheCommandPrintsItsSettings) {
  const AttributeCase cases[] = {
      {"defaults", {}, [](JobTicket*) {}},
      {"collated-copies", {"integer copies 2"}, [](JobTicket* t) { t->copies = 2; }},
      {"uncollated-copies",
       {"integer copies 2", "keyword multiple-document-handling separate-documents-uncollated-copies"},
       [](JobTicket* t) {
         t->copies = 2;
         t->collate = false;
         t->documents = runner::DocumentCopies::kUncollated;
       }},
      {"two-sided", {"keyword sides two-sided-long-edge"},
       [](JobTicket* t) { t->sides = runner::Sides::kLongEdge; }},
      {"letter", {"keyword media na_letter_8.5x11in"}, [](JobTicket* t) { t->paper = "letter"; }},
      {"a3-landscape", {"keyword media iso_a3_297x420mm", "enum orientation-requested 4"},
       [](JobTicket* t) {
         t->paper = "a3";
         t->orientation = runner::Orientation::kLandscape;
       }},
      {"legal-reverse-portrait", {"keyword media na_legal_8.5x14in", "enum orientation-requested 6"},
       [](JobTicket* t) {
         t->paper = "legal";
         t->orientation = runner::Orientation::kReversePortrait;
       }},
      {"page-ranges", {"rangeOfInteger page-ranges 2-3"},
       [](JobTicket* t) { t->page_ranges = "2-3"; }},
      {"two-up", {"integer number-up 2"}, [](JobTicket* t) { t->number_up = 2; }},
      {"four-up-layout-border",
       {"integer number-up 4", "keyword number-up-layout tblr", "keyword page-border single"},
       [](JobTicket* t) {
         t->number_up = 4;
         t->number_up_layout = runner::NupLayout::kTblr;
         t->page_border = true;
       }},
      {"booklet-right", {"keyword booklet right"},
       [](JobTicket* t) {
         t->booklet = true;
         t->booklet_style = 1;
       }},
      {"watermark", {"keyword watermark draft"}, [](JobTicket* t) { t->watermark = 2; }},
      {"odd-reversed", {"keyword page-set odd", "keyword output-order reverse"},
       [](JobTicket* t) {
         t->page_set = runner::PageSet::kOdd;
         t->reverse_order = true;
       }},
      {"preset-confidential", {}, [](JobTicket* t) { t->watermark = 1; }, "copier-confidential"},
      {"preset-booklet", {"integer copies 2"},
       [](JobTicket* t) {
         t->booklet = true;
         t->copies = 2;
       },
       "copier-booklet"},
      {"preset-overridden", {"keyword watermark none"}, [](JobTicket*) {}, "copier-confidential"},
  };
  const DocumentFile doc = Document(Kind::kPdf, 4);
  ASSERT_TRUE(doc.error.empty()) << doc.error;
  for (const AttributeCase& c : cases) {
    SCOPED_TRACE(c.name);
    const IppJobResult r = Print({c.name, doc.path, doc.format, c.attributes, true}, c.printer);
    ASSERT_EQ(r.state, "completed") << r.output;
    JobTicket ticket;
    c.ticket(&ticket);
    EXPECT_EQ(CompareWithCommand(Output(c.name, c.printer), doc.path, ini_, ticket, dir_.path(), kDpi),
              "");
  }
}

TEST_F(AttributesTest, RasterAndImagesGetNupAndTheWatermarkToo) {
  struct Case {
    const char* name;
    Kind kind;
    int pages;
    std::vector<std::string> attributes;
    std::size_t sheets;
  };
  const Case cases[] = {
      {"pwg-plain", Kind::kPwgRaster, 2, {}, 2},
      {"pwg-two-up-watermark", Kind::kPwgRaster, 2,
       {"integer number-up 2", "keyword watermark confidential"}, 1},
      {"urf-four-up", Kind::kUrf, 3, {"integer number-up 4"}, 1},
      {"jpeg-plain", Kind::kJpeg, 1, {}, 1},
      {"jpeg-watermark", Kind::kJpeg, 1, {"keyword watermark confidential"}, 1},
  };
  std::map<std::string, render::PageImages> printed;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DocumentFile doc = Document(c.kind, c.pages);
    ASSERT_TRUE(doc.error.empty()) << doc.error;
    ASSERT_EQ(Print({c.name, doc.path, doc.format, c.attributes, true}).state, "completed");
    printed[c.name] = render::RenderPages(Output(c.name), kDpi);
    EXPECT_EQ(printed[c.name].pages.size(), c.sheets) << printed[c.name].error;
  }
  // The watermark is ink the plain image does not have.
  EXPECT_GT(render::ComparePages(printed["jpeg-watermark"].pages.at(0),
                                 printed["jpeg-plain"].pages.at(0)).pixels,
            1000u);
}

TEST_F(AttributesTest, AValueTheCopierLacksAbortsTheJobWithTheReason) {
  const DocumentFile doc = Document(Kind::kPdf, 1);
  ASSERT_TRUE(doc.error.empty()) << doc.error;
  const IppJobResult r =
      Print({"no-such-watermark", doc.path, doc.format, {"keyword watermark secret"}, true});
  EXPECT_EQ(r.state, "aborted") << r.output;
  const auto job = JobAttributes(server_.PrinterUri("copier"), r.job_id, dir_.path());
  EXPECT_NE(job.at("job-state-message").find("watermark=secret"), std::string::npos)
      << job.at("job-state-message");
  EXPECT_FALSE(std::filesystem::exists(Output("no-such-watermark")) &&
               std::filesystem::file_size(Output("no-such-watermark")) > 0);
}

}  // namespace
}  // namespace pclspool::apptest
