// The printer application's pieces that need no server: the job ticket
// read from IPP attributes, the job process's command line, the watermark
// keywords, the job report, and the state file's interrupted jobs.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "printer-app/interrupted_jobs.h"
#include "printer-app/ipp_ticket.h"
#include "printer-app/job_command.h"
#include "printer-app/job_report.h"
#include "printer-app/vendor_attributes.h"
#include "support/scratch_dir.h"

namespace pclspool::app {
namespace {

using runner::JobTicket;

// The ticket of a job with these attributes on a printer with these
// defaults (both built on empty IPP messages), and the watermark texts
// "CONFIDENTIAL" and "Top Secret!".
struct TicketCase {
  const char* name;
  std::function<void(ipp_t* job, ipp_t* defaults, JobAttributes* a)> given;
  std::function<void(JobTicket* expected)> expect;  // on the default ticket
  const char* error = nullptr;                      // when refused: part of the message
};

TEST(JobTicketFromIpp, EachAttributeIsReadOnce) {
  const auto keyword = [](ipp_t* m, const char* name, const char* v) {
    ippAddString(m, IPP_TAG_JOB, IPP_TAG_KEYWORD, name, nullptr, v);
  };
  const TicketCase cases[] = {
      {"nothing given", [](ipp_t*, ipp_t*, JobAttributes*) {}, [](JobTicket*) {}},
      {"copies and landscape, letter, short edge",
       [](ipp_t*, ipp_t*, JobAttributes* a) {
         a->copies = 3;
         a->orientation = IPP_ORIENT_LANDSCAPE;
         a->media = "na_letter_8.5x11in";
         a->sides = PAPPL_SIDES_TWO_SIDED_SHORT_EDGE;
       },
       [](JobTicket* t) {
         t->copies = 3;
         t->orientation = runner::Orientation::kLandscape;
         t->paper = "letter";
         t->sides = runner::Sides::kShortEdge;
       }},
      {"uncollated copies",
       [&](ipp_t* j, ipp_t*, JobAttributes*) {
         keyword(j, "multiple-document-handling", "separate-documents-uncollated-copies");
       },
       [](JobTicket* t) {
         t->collate = false;
         t->documents = runner::DocumentCopies::kUncollated;
       }},
      {"n-up, layout, border, page set, reverse",
       [&](ipp_t* j, ipp_t*, JobAttributes*) {
         ippAddInteger(j, IPP_TAG_JOB, IPP_TAG_INTEGER, "number-up", 4);
         keyword(j, "number-up-layout", "tblr");
         keyword(j, "page-border", "single");
         keyword(j, "page-set", "even");
         keyword(j, "output-order", "reverse");
       },
       [](JobTicket* t) {
         t->number_up = 4;
         t->number_up_layout = runner::NupLayout::kTblr;
         t->page_border = true;
         t->page_set = runner::PageSet::kEven;
         t->reverse_order = true;
       }},
      {"booklet bound on the right, from the printer's default",
       [&](ipp_t*, ipp_t* d, JobAttributes*) { keyword(d, "booklet-default", "right"); },
       [](JobTicket* t) {
         t->booklet = true;
         t->booklet_style = 1;
       }},
      {"the job's value over the printer's default",
       [&](ipp_t* j, ipp_t* d, JobAttributes*) {
         keyword(d, "watermark-default", "confidential");
         keyword(j, "watermark", "top-secret");
       },
       [](JobTicket* t) { t->watermark = 2; }},
      {"page ranges, the last open",
       [](ipp_t* j, ipp_t*, JobAttributes*) {
         const int lower[] = {2, 7};
         const int upper[] = {4, INT_MAX};
         ippAddRanges(j, IPP_TAG_JOB, "page-ranges", 2, lower, upper);
       },
       [](JobTicket* t) { t->page_ranges = "2-4,7-"; }},
      {"number-up 3", [](ipp_t* j, ipp_t*, JobAttributes*) {
         ippAddInteger(j, IPP_TAG_JOB, IPP_TAG_INTEGER, "number-up", 3);
       }, nullptr, "number-up=3"},
      {"a watermark the settings file lacks",
       [&](ipp_t*, ipp_t* d, JobAttributes*) { keyword(d, "watermark-default", "draft"); },
       nullptr, "no such watermark text"},
      {"a booklet keyword of no binding",
       [&](ipp_t* j, ipp_t*, JobAttributes*) { keyword(j, "booklet", "top"); }, nullptr,
       "booklet=top"},
      {"more copies than the copier makes",
       [](ipp_t*, ipp_t*, JobAttributes* a) { a->copies = runner::MaxCopies() + 1; }, nullptr,
       "copies="},
      {"a paper the copier lacks",
       [](ipp_t*, ipp_t*, JobAttributes* a) { a->media = "iso_a5_148x210mm"; }, nullptr,
       "media=iso_a5"},
      {"overlapping page ranges",
       [](ipp_t* j, ipp_t*, JobAttributes*) {
         const int lower[] = {3, 1};
         const int upper[] = {5, 2};
         ippAddRanges(j, IPP_TAG_JOB, "page-ranges", 2, lower, upper);
       },
       nullptr, "page-ranges="},
  };
  const std::vector<std::string> keywords = WatermarkKeywords({"CONFIDENTIAL", "Top Secret!"});
  for (const TicketCase& c : cases) {
    SCOPED_TRACE(c.name);
    ipp_t* job = ippNew();
    ipp_t* defaults = ippNew();
    JobAttributes a;
    a.media = "iso_a4_210x297mm";
    a.job = [job](const char* n) { return ippFindAttribute(job, n, IPP_TAG_ZERO); };
    a.printer_default = [defaults](const char* n) {
      return ippFindAttribute(defaults, (std::string(n) + "-default").c_str(), IPP_TAG_ZERO);
    };
    c.given(job, defaults, &a);
    JobTicket ticket;
    Scaling scaling;
    std::string error;
    const bool ok = ReadJobTicket(a, keywords, &ticket, &scaling, &error);
    if (c.error) {
      EXPECT_FALSE(ok);
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
    } else {
      ASSERT_TRUE(ok) << error;
      JobTicket expected;
      c.expect(&expected);
      // Through the job process's command line, which also compares every field.
      JobCommand got{DocumentKind::kPdf, "in", "ini", "dir", 1, Scaling::kAuto, ticket};
      JobCommand want = got;
      want.ticket = expected;
      EXPECT_EQ(JobCommandArgs(got), JobCommandArgs(want));
    }
    ippDelete(job);
    ippDelete(defaults);
  }
}

TEST(JobCommandLine, ReadsBackWhatItWritesAndRefusesTheRest) {
  JobCommand c{DocumentKind::kImage, "/spool/d.jpg", "/w/OrvWater.INI", "/w", 42, Scaling::kFill, {}};
  c.ticket.copies = 5;
  c.ticket.paper = "a3";
  c.ticket.page_ranges = "1-2,9-";
  c.ticket.number_up_layout = runner::NupLayout::kBtrl;
  std::vector<std::string> args = JobCommandArgs(c);
  const auto parse = [](const std::vector<std::string>& text, JobCommand* out, std::string* error) {
    return ParseJobCommand(std::vector<std::string_view>(text.begin(), text.end()), out, error);
  };
  JobCommand back;
  std::string error;
  ASSERT_TRUE(parse(args, &back, &error)) << error;
  EXPECT_EQ(JobCommandArgs(back), args);

  const std::pair<std::string, const char*> bad[] = {
      {"--paper=a9", "bad value"}, {"--orientation=7", "bad value"}, {"--copies=x", "bad value"},
      {"--colour=1", "unknown"}};
  for (const auto& [arg, why] : bad) {
    std::vector<std::string> changed = args;
    changed.push_back(arg);
    EXPECT_FALSE(parse(changed, &back, &error)) << arg;
    EXPECT_NE(error.find(why), std::string::npos) << error;
  }
  args.erase(args.begin());
  EXPECT_FALSE(parse(args, &back, &error));
  EXPECT_NE(error.find("missing --kind"), std::string::npos) << error;
}

TEST(WatermarkKeywords, AreMadeFromTheTextsAndStayDistinct) {
  EXPECT_EQ(WatermarkKeywords({"CONFIDENTIAL", "Top  Secret!", "  draft 2 ", "***", "None",
                               "Confidential", "Vertraulich – intern"}),
            (std::vector<std::string>{"confidential", "top-secret", "draft-2", "text-4", "none-5",
                                      "confidential-6", "vertraulich-intern"}));
}

TEST(JobReport, LinesReadBackAndMessagesStayOnOneLine) {
  const auto parsed = [](const std::string& line) {
    return ParseReportLine(std::string_view(line).substr(0, line.size() - 1));
  };
  ReportLine side = parsed(SideLine(7, 3));
  EXPECT_EQ(side.kind, ReportLine::Kind::kSide);
  EXPECT_EQ(side.first, 7u);
  EXPECT_EQ(side.second, 3u);
  EXPECT_EQ(parsed(ErrorLine("bad\ninput")).text, "bad input");
  EXPECT_EQ(parsed(ReasonLine("document-format-error")).kind, ReportLine::Kind::kReason);
  EXPECT_EQ(ParseReportLine("side 7").kind, ReportLine::Kind::kUnknown);
  EXPECT_EQ(ParseReportLine("progress 1 2x").kind, ReportLine::Kind::kUnknown);
}

TEST(InterruptedJobs, AreAbortedInTheStateFileAndTheirDocumentsDeleted) {
  const testing::ScratchDir dir{"app"};
  const std::filesystem::path doc1 = dir / "p1j2.pdf";
  const std::filesystem::path doc2 = dir / "p2j5.pdf";
  std::ofstream(doc1) << "x";
  std::ofstream(doc2) << "x";
  const std::string state =
      "NextPrinterID 3\n"
      "<Printer did=\"\" driver=\"pclspool\" id=\"1\" name=\"a\" uri=\"file:///x\">\n"
      "Job completed=\"100\" format=\"application/pdf\" id=\"1\" name=\"done\" state=\"9\" "
      "username=\"u\"\n"
      "Job filename=\"" + doc1.string() + "\" format=\"application/pdf\" id=\"2\" "
      "name=\"quote \\\" in it\" state=\"5\" username=\"u\"\n"
      "</Printer>\n"
      "<Printer did=\"\" driver=\"pclspool\" id=\"2\" name=\"b\" uri=\"file:///y\">\n"
      "Job filename=\"" + doc2.string() + "\" format=\"application/pdf\" id=\"5\" name=\"n\" "
      "state=\"3\" username=\"u\"\n"
      "Job format=\"application/pdf\" id=\"6\" name=\"next\" state=\"3\" username=\"u\"\n"
      "</Printer>\n";
  const std::filesystem::path file = dir / "app.state";
  std::ofstream(file) << state;
  const std::vector<JobKey> aborted = AbortInterruptedJobs(file.string(), {{2, 5}}, 1234);
  EXPECT_EQ(aborted, (std::vector<JobKey>{{1, 2}, {2, 5}}));
  std::ifstream in(file);
  const std::string after((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(after.find("Job completed=\"1234\" format=\"application/pdf\" id=\"2\" "
                       "name=\"quote \\\" in it\" state=\"8\" state_reasons=\"1\" username=\"u\"\n"),
            std::string::npos)
      << after;
  EXPECT_NE(after.find("id=\"5\" name=\"n\" state=\"8\""), std::string::npos) << after;
  EXPECT_NE(after.find("id=\"6\" name=\"next\" state=\"3\""), std::string::npos) << after;
  EXPECT_FALSE(std::filesystem::exists(doc1));
  EXPECT_FALSE(std::filesystem::exists(doc2));
}

}  // namespace
}  // namespace pclspool::app
