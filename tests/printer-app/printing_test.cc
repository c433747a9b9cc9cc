// Printing over IPP as a client does: every kind of document, bad
// documents, print-scaling, and the app's own submit sub-command; and the
// words Printing Defaults shows for the copier's options. (Each job
// attribute and the presets: same_job_test.cc.)
#include <gtest/gtest.h>

#include <map>

#include "app_fixture.h"
#include "documents.h"
#include "http_request.h"
#include "support/render/page_compare.h"
#include "support/render/print_job.h"

namespace pclspool::apptest {
namespace {

constexpr int kDpi = 60;

using PrintingTest = AppTest;

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

// PAPPL's Printing Defaults labels the copier's options and their values
// with the catalogue's words, a watermark with its text.
TEST_F(PrintingTest, PrintingDefaultsSayWhatTheOptionsAre) {
  const HttpResponse page =
      HttpRequest(server_.port(), "/copier/printing", "", "", Administrator());
  ASSERT_EQ(page.status, 200);
  for (const char* words : {"<th>Pages per side:</th>", "<th>Booklet:</th>",
                            ">Booklet bound on the left</option>", ">Last page first</option>",
                            "\"confidential\">CONFIDENTIAL</option>"}) {
    EXPECT_NE(page.body.find(words), std::string::npos) << words;
  }
  EXPECT_EQ(page.body.find("<th>number-up:</th>"), std::string::npos);
}

// The printer offers the copies the runner takes and the finishings the
// copier can do, where PAPPL 1.3.1 would say 1-999 and none alone, in
// answers for a format that is spooled and for none.
TEST_F(PrintingTest, TheCopiesAndFinishingsOfferedAreTheCopiers) {
  for (const char* format : {"", "ATTR mimeMediaType document-format application/pdf\n"}) {
    const std::map<std::string, std::string> shown = DisplayedValues(RunIppTool(
        server_.PrinterUri("copier"),
        IppRequest("Get-Printer-Attributes",
                   std::string(format) + "ATTR keyword requested-attributes all\n"
                                         "STATUS successful-ok\nDISPLAY copies-supported\n"
                                         "DISPLAY finishings-supported\n"),
        dir_.path()));
    EXPECT_EQ(shown.count("copies-supported") ? shown.at("copies-supported") : "", "1-99");
    EXPECT_EQ(shown.count("finishings-supported") ? shown.at("finishings-supported") : "",
              "none,booklet-maker");
  }
}

}  // namespace
}  // namespace pclspool::apptest
