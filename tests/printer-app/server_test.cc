// The server as a client meets it: printers added and listed with the
// app's own sub-commands, documents of every kind printed over IPP, each
// in a job process of its own, bad documents, and print-scaling.
#include <gtest/gtest.h>

#include "app_fixture.h"
#include "support/render/page_compare.h"
#include "support/child_process.h"
#include "documents.h"

namespace pclspool::apptest {
namespace {

TEST_F(AppTest, ListsItsPrintersAndPrintsEveryKindOfDocument) {
  const testing::ProgramRun printers = server_.Command({"printers"});
  ASSERT_TRUE(printers.Ok()) << printers.Describe("printers");
  EXPECT_NE(printers.out.find("copier"), std::string::npos) << printers.out;

  struct Case {
    const char* name;
    Kind kind;
    int pages;
    int impressions;  // one side a page
  };
  const Case cases[] = {{"pdf", Kind::kPdf, 3, 3},         {"postscript", Kind::kPostScript, 2, 2},
                        {"pcl", Kind::kPcl, 2, 2},         {"pwg", Kind::kPwgRaster, 2, 2},
                        {"urf", Kind::kUrf, 2, 2},
                        {"jpeg", Kind::kJpeg, 1, 1},       {"png", Kind::kPng, 1, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const DocumentFile doc = Document(c.kind, c.pages);
    ASSERT_TRUE(doc.error.empty()) << doc.error;
    const IppJobResult r = Print({c.name, doc.path, doc.format, {}, true});
    EXPECT_EQ(r.state, "completed") << r.output;
    EXPECT_EQ(r.impressions, c.impressions) << r.output;
    const render::PageImages pages = render::RenderPages(Output(c.name), 50);
    EXPECT_EQ(pages.pages.size(), static_cast<std::size_t>(c.impressions)) << pages.error;
  }
  // No job left a directory or a page file behind.
  EXPECT_TRUE(std::filesystem::is_empty(server_.state_dir() / "jobs"));
}

TEST_F(AppTest, ABadDocumentEndsTheJobWithItsReason) {
  const std::filesystem::path junk = dir_ / "junk.bin";
  const std::filesystem::path broken = dir_ / "broken.pdf";
  std::ofstream(junk) << std::string(3000, '\x7f') << "no printer language";
  std::ofstream(broken) << "%PDF-1.4\n1 0 obj << /Type /Catalog /Pages 9 0 R >> endobj\n"
                        << std::string(2000, 'x') << "\n%%EOF\n";
  struct Case {
    const char* name;
    std::filesystem::path file;
    const char* format;
    const char* reason;
  };
  const Case cases[] = {
      {"unknown", junk, "application/octet-stream", "document-format-error"},
      {"not-pcl", junk, "application/vnd.hp-pcl", "document-format-error"},
      {"broken-pdf", broken, "application/pdf", "document-unprintable-error"},
      {"not-jpeg", junk, "image/jpeg", "document-format-error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const IppJobResult r = Print({c.name, c.file, c.format, {}, true});
    EXPECT_EQ(r.state, "aborted") << r.output;
    EXPECT_NE(r.reasons.find(c.reason), std::string::npos) << r.reasons;
    EXPECT_EQ(r.impressions, 0);
  }
  // The queue goes on.
  const DocumentFile doc = Document(Kind::kPdf, 1);
  EXPECT_EQ(Print({"after", doc.path, doc.format, {}, true}).state, "completed");
  EXPECT_TRUE(std::filesystem::is_empty(server_.state_dir() / "jobs"));
}

TEST_F(AppTest, PrintScalingFitsOrFillsAnImage) {
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

TEST_F(AppTest, SubmitSubCommandPrints) {
  const DocumentFile doc = Document(Kind::kPdf, 2);
  ASSERT_TRUE(doc.error.empty()) << doc.error;
  const testing::ProgramRun run = server_.Command(
      {"submit", "-d", "copier", "-u", server_.PrinterUri("copier"), "-t", "submitted",
       doc.path.string()});
  ASSERT_TRUE(run.Ok()) << run.Describe("submit");
  const auto job = WaitForJob(server_.PrinterUri("copier"), std::atoi(run.out.c_str()),
                              dir_.path());
  EXPECT_EQ(job.at("job-state"), "completed");
  EXPECT_EQ(render::RenderPages(Output("submitted"), 50).pages.size(), 2u);
}

}  // namespace
}  // namespace pclspool::apptest
