// Printing over IPP as a client does: every kind of document, each job
// attribute the copier takes (what reaches the device prints the same
// sheets as `pclspool print` of the same document with the same settings),
// the administrator's presets (printers of their own whose defaults stand
// in for what a client's dialog does not show), bad documents,
// print-scaling, and the app's own submit sub-command.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>

#include "app_fixture.h"
#include "documents.h"
#include "runner/ticket_settings.h"
#include "support/render/page_compare.h"
#include "support/render/print_job.h"

namespace pclspool::apptest {
namespace {

using runner::JobTicket;

constexpr int kDpi = 60;

class PrintingTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    std::string error;
    ASSERT_TRUE(server_.AddPrinter("copier-confidential", {"watermark-default=confidential"},
                                   &error))
        << error;
    ASSERT_TRUE(server_.AddPrinter("copier-booklet", {"booklet-default=left"}, &error)) << error;
  }

  // Empty when the device stream `printed` shows the same sheets, pixel for
  // pixel, as `pclspool print` of `document` with the settings file and the
  // settings the runner makes of `ticket` (uncollated copies, which the
  // printer makes, repeat each of its sheets); else what differs.
  std::string CompareWithCommand(const std::filesystem::path& printed,
                                 const std::filesystem::path& document, const JobTicket& ticket) {
    runner::JobOptions o;
    std::string left_out;
    runner::ApplyTicket(ticket, runner::InputKind::kPdf, &o, &left_out);
    std::vector<std::string> args = {"--ini", ini_.string()};
    for (const auto& [key, value] : o.settings) args.insert(args.end(), {"--set", key + "=" + value});
    if (o.watermark) args.insert(args.end(), {"--watermark", std::to_string(*o.watermark)});
    if (!o.page_ranges.empty()) args.insert(args.end(), {"--page-ranges", o.page_ranges});
    // The choices that are not [SETTING] keys, as the command's options.
    if (o.upside_down) {
      const bool landscape = ticket.orientation == runner::Orientation::kReverseLandscape;
      args.insert(args.end(), {"--orientation", landscape ? "reverse-landscape" : "reverse-portrait"});
    }
    if (o.page_set != runner::PageSet::kAll) {
      args.insert(args.end(), {"--page-set", o.page_set == runner::PageSet::kOdd ? "odd" : "even"});
    }
    if (o.reverse_order) args.push_back("--reverse-order");
    if (o.page_border) args.push_back("--page-border");
    constexpr const char* kLayouts[] = {"lrtb", "lrbt", "rltb", "rlbt", "tblr", "tbrl", "btlr", "btrl"};
    args.insert(args.end(), {"--number-up-layout", kLayouts[static_cast<int>(o.number_up_layout)]});
    const render::PageImages want = render::PrintAndRender(
        args, document, dir_ / (printed.stem().string() + "-command.prn"), kDpi);
    const render::PageImages got = render::RenderPages(printed, kDpi);
    if (!want.error.empty() || !got.error.empty()) return want.error + got.error;
    const std::size_t repeat = o.uncollated_copies;
    std::ostringstream diff;
    if (got.pages.size() != want.pages.size() * repeat) {
      diff << got.pages.size() << " sheets printed, " << want.pages.size() << " x " << repeat
           << " by the command";
      return diff.str();
    }
    for (std::size_t i = 0; i < got.pages.size(); ++i) {
      const render::PageDiff d = render::ComparePages(got.pages[i], want.pages[i / repeat]);
      if (d.pixels) diff << "sheet " << i + 1 << ": " << d.pixels << " pixels differ in " << d.box << "; ";
    }
    return diff.str();
  }
};

TEST_F(PrintingTest, EveryKindOfDocumentPrintsWithNupAndTheWatermark) {
  struct Case {
    const char* name;
    Kind kind;
    int pages;
    std::vector<std::string> attributes;
    int sheets;  // one side each
  };
  const Case cases[] = {
      {"pdf", Kind::kPdf, 3, {}, 3},
      {"postscript", Kind::kPostScript, 2, {}, 2},
      {"pcl", Kind::kPcl, 2, {}, 2},
      {"pwg", Kind::kPwgRaster, 2, {}, 2},
      {"pwg-two-up-watermark", Kind::kPwgRaster, 2,
       {"integer number-up 2", "keyword watermark confidential"}, 1},
      {"urf-four-up", Kind::kUrf, 3, {"integer number-up 4"}, 1},
      {"jpeg", Kind::kJpeg, 1, {}, 1},
      {"jpeg-watermark", Kind::kJpeg, 1, {"keyword watermark confidential"}, 1},
      {"png", Kind::kPng, 1, {}, 1},
  };
  std::map<std::string, render::PageImages> printed;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DocumentFile doc = Document(c.kind, c.pages);
    ASSERT_TRUE(doc.error.empty()) << doc.error;
    const IppJobResult r = Print({c.name, doc.path, doc.format, c.attributes, true});
    EXPECT_EQ(r.state, "completed") << r.output;
    EXPECT_EQ(r.impressions, c.sheets) << r.output;
    printed[c.name] = render::RenderPages(Output(c.name), kDpi);
    EXPECT_EQ(printed[c.name].pages.size(), static_cast<std::size_t>(c.sheets))
        << printed[c.name].error;
  }
  // The watermark is ink the plain image does not have.
  EXPECT_GT(render::ComparePages(printed["jpeg-watermark"].pages.at(0),
                                 printed["jpeg"].pages.at(0)).pixels,
            1000u);
  // No job left a directory or a page file behind.
  EXPECT_TRUE(std::filesystem::is_empty(server_.state_dir() / "jobs"));
}

TEST_F(PrintingTest, EachAttributePrintsAsTheCommandPrintsItsSettings) {
  struct Case {
    const char* name;
    std::vector<std::string> attributes;     // as ipptool's ATTR takes them
    std::function<void(JobTicket*)> ticket;  // what they ask of the runner
    const char* printer = "copier";
  };
  const Case cases[] = {
      {"defaults", {}, [](JobTicket*) {}},
      {"collated-copies", {"integer copies 2"}, [](JobTicket* t) { t->copies = 2; }},
      {"uncollated-copies",
       {"integer copies 2", "keyword multiple-document-handling separate-documents-uncollated-copies"},
       [](JobTicket* t) {
         t->copies = 2, t->collate = false, t->documents = runner::DocumentCopies::kUncollated;
       }},
      {"two-sided", {"keyword sides two-sided-long-edge"},
       [](JobTicket* t) { t->sides = runner::Sides::kLongEdge; }},
      {"a3-landscape", {"keyword media iso_a3_297x420mm", "enum orientation-requested 4"},
       [](JobTicket* t) { t->paper = "a3", t->orientation = runner::Orientation::kLandscape; }},
      {"legal-reverse-portrait", {"keyword media na_legal_8.5x14in", "enum orientation-requested 6"},
       [](JobTicket* t) { t->paper = "legal", t->orientation = runner::Orientation::kReversePortrait; }},
      {"page-ranges", {"rangeOfInteger page-ranges 2-3"}, [](JobTicket* t) { t->page_ranges = "2-3"; }},
      {"four-up-layout-border",
       {"integer number-up 4", "keyword number-up-layout tblr", "keyword page-border single"},
       [](JobTicket* t) {
         t->number_up = 4, t->number_up_layout = runner::NupLayout::kTblr, t->page_border = true;
       }},
      {"booklet-right", {"keyword booklet right"},
       [](JobTicket* t) { t->booklet = true, t->booklet_style = 1; }},
      {"watermark", {"keyword watermark draft"}, [](JobTicket* t) { t->watermark = 2; }},
      {"odd-reversed", {"keyword page-set odd", "keyword output-order reverse"},
       [](JobTicket* t) { t->page_set = runner::PageSet::kOdd, t->reverse_order = true; }},
      {"preset-booklet", {"integer copies 2"},
       [](JobTicket* t) { t->booklet = true, t->copies = 2; }, "copier-booklet"},
      {"preset-overridden", {"keyword watermark none"}, [](JobTicket*) {}, "copier-confidential"},
  };
  const DocumentFile doc = Document(Kind::kPdf, 4);
  ASSERT_TRUE(doc.error.empty()) << doc.error;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const IppJobResult r = Print({c.name, doc.path, doc.format, c.attributes, true}, c.printer);
    ASSERT_EQ(r.state, "completed") << r.output;
    JobTicket ticket;
    c.ticket(&ticket);
    EXPECT_EQ(CompareWithCommand(Output(c.name, c.printer), doc.path, ticket), "");
  }
}

TEST_F(PrintingTest, ABadDocumentOrValueEndsTheJobWithItsReason) {
  const std::filesystem::path junk = dir_ / "junk.bin";
  const std::filesystem::path broken = dir_ / "broken.pdf";
  std::ofstream(junk) << std::string(3000, '\x7f') << "no printer language";
  std::ofstream(broken) << "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 9 0 R >> endobj\n"
                        << std::string(2000, 'x') << "\n%%EOF\n";
  const DocumentFile doc = Document(Kind::kPdf, 1);
  ASSERT_TRUE(doc.error.empty()) << doc.error;
  struct Case {
    const char* name;
    std::filesystem::path file;
    std::string format;
    std::vector<std::string> attributes;
    const char* reason;   // in job-state-reasons
    const char* message;  // in job-state-message
  };
  const Case cases[] = {
      {"unknown", junk, "application/octet-stream", {}, "document-format-error", ""},
      {"not-pcl", junk, "application/vnd.hp-pcl", {}, "document-format-error", ""},
      {"broken-pdf", broken, "application/pdf", {}, "document-unprintable-error", ""},
      {"not-jpeg", junk, "image/jpeg", {}, "document-format-error", ""},
      {"no-such-watermark", doc.path, doc.format, {"keyword watermark secret"}, "",
       "watermark=secret"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const IppJobResult r = Print({c.name, c.file, c.format, c.attributes, true});
    EXPECT_EQ(r.state, "aborted") << r.output;
    EXPECT_NE(r.reasons.find(c.reason), std::string::npos) << r.reasons;
    auto job = JobAttributes(server_.PrinterUri("copier"), r.job_id, dir_.path());
    EXPECT_NE(job["job-state-message"].find(c.message), std::string::npos) << job["job-state-message"];
    EXPECT_EQ(r.impressions, 0);
    EXPECT_FALSE(std::filesystem::exists(Output(c.name)) &&
                 std::filesystem::file_size(Output(c.name)) > 0);
  }
  // The queue goes on.
  EXPECT_EQ(Print({"after", doc.path, doc.format, {}, true}).state, "completed");
  EXPECT_TRUE(std::filesystem::is_empty(server_.state_dir() / "jobs"));
}

TEST_F(PrintingTest, PrintScalingFitsOrFillsAnImage) {
  // A wide black image: fitted, it leaves most of the page white; filling
  // the page, it blackens nearly all of it.
  const std::filesystem::path image = dir_ / "wide.jpg";
  const testing::ProgramRun gs = testing::RunProgram(
      {.argv = {"gs", "-q", "-dBATCH", "-dNOPAUSE", "-dSAFER", "-sDEVICE=jpeggray", "-r40",
                "-dDEVICEWIDTHPOINTS=842", "-dDEVICEHEIGHTPOINTS=300", "-dFIXEDMEDIA",
                "-sOutputFile=" + image.string(), "-c", "0 setgray 0 0 842 300 rectfill showpage"}});
  ASSERT_TRUE(gs.Ok()) << gs.Describe("gs");
  double inked[2] = {0, 0};
  const char* scalings[] = {"fit", "fill"};
  for (int i = 0; i < 2; ++i) {
    const std::string name = std::string("scaling-") + scalings[i];
    const IppJobResult r =
        Print({name, image, "image/jpeg", {std::string("keyword print-scaling ") + scalings[i]}, true});
    ASSERT_EQ(r.state, "completed") << r.output;
    const render::PageImages pages = render::RenderPages(Output(name), 30);
    ASSERT_EQ(pages.pages.size(), 1u) << pages.error;
    const render::PageImage& page = pages.pages[0];
    inked[i] = static_cast<double>(render::InkPixels(page, {0, 0, page.width, page.height})) /
               (static_cast<double>(page.width) * page.height);
  }
  EXPECT_LT(inked[0], 0.5);
  EXPECT_GT(inked[1], 0.7);
}

TEST_F(PrintingTest, SubmitSubCommandPrints) {
  const DocumentFile doc = Document(Kind::kPdf, 2);
  ASSERT_TRUE(doc.error.empty()) << doc.error;
  const testing::ProgramRun run = server_.Command({"submit", "-d", "copier", "-u",
                                                   server_.PrinterUri("copier"), "-t", "submitted",
                                                   doc.path.string()});
  ASSERT_TRUE(run.Ok()) << run.Describe("submit");
  const auto job = WaitForJob(server_.PrinterUri("copier"), std::atoi(run.out.c_str()), dir_.path());
  EXPECT_EQ(job.at("job-state"), "completed");
  EXPECT_EQ(render::RenderPages(Output("submitted"), kDpi).pages.size(), 2u);
}

}  // namespace
}  // namespace pclspool::apptest
