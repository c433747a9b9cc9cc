// The server as a client meets it: printers added and listed with the
// app's own sub-commands, documents of every kind printed over IPP, each
// in a job process of its own, and the printer's attributes as ipptool's
// own test reads them.
#include <gtest/gtest.h>

#include "app_fixture.h"
#include "documents.h"

namespace pclspool::apptest {
namespace {

TEST_F(AppTest, ListsItsPrintersAndPrintsEveryKindOfDocument) {
  const render::ProgramRun printers = server_.Command({"printers"});
  ASSERT_TRUE(printers.Ok()) << printers.Describe("printers");
  EXPECT_NE(printers.output.find("copier"), std::string::npos) << printers.output;

  struct Case {
    const char* name;
    Kind kind;
    int pages;
    int impressions;  // one side a page
  };
  const Case cases[] = {{"pdf", Kind::kPdf, 3, 3},         {"postscript", Kind::kPostScript, 2, 2},
                        {"pcl", Kind::kPcl, 2, 2},         {"pwg", Kind::kPwgRaster, 2, 2},
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

TEST_F(AppTest, SubmitSubCommandPrints) {
  const DocumentFile doc = Document(Kind::kPdf, 2);
  ASSERT_TRUE(doc.error.empty()) << doc.error;
  const render::ProgramRun run = server_.Command(
      {"submit", "-d", "copier", "-u", server_.PrinterUri("copier"), "-t", "submitted",
       doc.path.string()});
  ASSERT_TRUE(run.Ok()) << run.Describe("submit");
  const auto job = WaitForJob(server_.PrinterUri("copier"), std::atoi(run.output.c_str()),
                              dir_.path());
  EXPECT_EQ(job.at("job-state"), "completed");
  EXPECT_EQ(render::RenderPages(Output("submitted"), 50).pages.size(), 2u);
}

TEST_F(AppTest, PassesIpptoolsPrinterAttributesTest) {
  const std::string report = RunIppTool(server_.PrinterUri("copier"),
                                        "INCLUDE \"/usr/share/cups/ipptool/get-printer-attributes.test\"\n",
                                        dir_.path());
  EXPECT_EQ(report.find("[FAIL]"), std::string::npos) << report;
  EXPECT_NE(report.find("[PASS]"), std::string::npos) << report;
}

}  // namespace
}  // namespace pclspool::apptest
