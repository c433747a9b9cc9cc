// The printer application's pieces that need no server: the job ticket
// read from IPP attributes, the job report, the state file's interrupted
// jobs, and raster told by its first bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <climits>
#include <functional>

#include "printer-app/interrupted_jobs.h"
#include "printer-app/ipp_ticket.h"
#include "printer-app/job_report.h"
#include "printer-app/raster_spooling.h"
#include "runner/job_catalogue.h"
#include "support/scratch_dir.h"
#include "support/test_files.h"
#include "support/ticket_words.h"

namespace pclspool::app {
namespace {

// Adds "name=value" attributes to an IPP message: integers (finishings as
// enums, several values comma-separated), else a keyword.
void Add(ipp_t* m, const std::vector<std::string>& attributes) {
  for (const std::string& a : attributes) {
    const std::string name = a.substr(0, a.find('=')), value = a.substr(a.find('=') + 1);
    if (value.find_first_not_of("0123456789,") != std::string::npos) {
      ippAddString(m, IPP_TAG_JOB, IPP_TAG_KEYWORD, name.c_str(), nullptr, value.c_str());
      continue;
    }
    std::vector<int> numbers;
    for (std::size_t at = 0; at < value.size(); at = value.find(',', at) + 1) {
      numbers.push_back(std::stoi(value.substr(at)));
      if (value.find(',', at) == std::string::npos) break;
    }
    ippAddIntegers(m, IPP_TAG_JOB, name == "finishings" ? IPP_TAG_ENUM : IPP_TAG_INTEGER,
                   name.c_str(), static_cast<int>(numbers.size()), numbers.data());
  }
}

const auto Changed = testing::ChangedTicketWords;

// What the app makes of a job's attributes on a printer with these
// defaults and the watermark texts "CONFIDENTIAL" and "Top Secret!": the
// ticket, or a refusal. A finishing the copier cannot do is left out, never
// refused (PAPPL 1.3.1 checks no finishings value itself).
TEST(JobTicketFromIpp, TheAppsValidation) {
  const struct {
    const char* name;
    std::vector<std::string> job, defaults;
    std::function<void(JobAttributes*, ipp_t* job)> given;  // the rest
    std::vector<std::string> ticket;  // what differs from the default ticket
    const char* error = nullptr;      // when refused: part of the message
  } cases[] = {
      {"nothing given", {}, {}, nullptr, {}},
      {"PAPPL's own", {}, {},
       [](JobAttributes* a, ipp_t*) {
         a->copies = 3, a->orientation = IPP_ORIENT_NONE, a->media = "na_letter_8.5x11in";
         a->sides = PAPPL_SIDES_TWO_SIDED_SHORT_EDGE, a->scaling = PAPPL_SCALING_FILL;
       },
       {"copies=3", "media=na_letter_8.5x11in", "sides=two-sided-short-edge", "print-scaling=fill"}},
      {"booklet-maker, bound as the printer's default", {"finishings=13"}, {"booklet-default=right"},
       nullptr, {"booklet=right"}},
      {"booklet-maker, bound on the left", {"finishings=3,13"}, {}, nullptr, {"booklet=left"}},
      {"staple and punch, as iOS sends them", {"finishings=20,78"}, {}, nullptr, {}},
      {"no finishing keeps the preset's booklet", {"finishings=3"}, {"booklet-default=left"},
       nullptr, {"booklet=left"}},
      {"uncollated copies", {"multiple-document-handling=separate-documents-uncollated-copies"},
       {}, nullptr,
       {"collate=false", "multiple-document-handling=separate-documents-uncollated-copies"}},
      {"the job's value over the printer's default", {"watermark=top-secret"},
       {"watermark-default=confidential"}, nullptr, {"watermark=2"}},
      {"page ranges, the last open", {}, {},
       [](JobAttributes*, ipp_t* j) {
         const int lower[] = {2, 7}, upper[] = {4, INT_MAX};
         ippAddRanges(j, IPP_TAG_JOB, "page-ranges", 2, lower, upper);
       },
       {"page-ranges=2-4,7-"}},
      {"number-up 3", {"number-up=3"}, {}, nullptr, {}, "number-up=3"},
      {"a watermark the settings file lacks", {}, {"watermark-default=draft"}, nullptr, {},
       "no such watermark text"},
      {"two watermarks", {"watermark=confidential,top-secret"}, {}, nullptr, {}, "watermark="},
      {"a booklet keyword of no binding", {"booklet=top"}, {}, nullptr, {}, "booklet=top"},
      {"more copies than the copier makes", {}, {},
       [](JobAttributes* a, ipp_t*) { a->copies = runner::MaxCopies() + 1; }, {}, "copies="},
      {"a paper the copier lacks", {}, {},
       [](JobAttributes* a, ipp_t*) { a->media = "iso_a5_148x210mm"; }, {}, "media=iso_a5"},
      {"overlapping page ranges", {}, {},
       [](JobAttributes*, ipp_t* j) {
         const int lower[] = {3, 1}, upper[] = {5, 2};
         ippAddRanges(j, IPP_TAG_JOB, "page-ranges", 2, lower, upper);
       },
       {}, "page-ranges="},
  };
  const std::vector<std::string> keywords =
      runner::WatermarkKeywords({"CONFIDENTIAL", "Top Secret!"});
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ipp_t* job = ippNew();
    ipp_t* defaults = ippNew();
    Add(job, c.job);
    Add(defaults, c.defaults);
    JobAttributes a;
    a.media = "iso_a4_210x297mm";
    a.job = [job](const char* n) { return ippFindAttribute(job, n, IPP_TAG_ZERO); };
    a.printer_default = [defaults](const char* n) {
      return ippFindAttribute(defaults, (std::string(n) + "-default").c_str(), IPP_TAG_ZERO);
    };
    if (c.given) c.given(&a, job);
    runner::JobTicket got;
    std::string error;
    const bool ok = ReadJobTicket(a, keywords, &got, &error);
    EXPECT_EQ(ok, !c.error) << error;
    if (c.error) {
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
    } else {
      EXPECT_EQ(Changed(got), c.ticket);
    }
    ippDelete(job);
    ippDelete(defaults);
  }
}

TEST(JobReport, LinesReadBackAndMessagesStayOnOneLine) {
  const auto parsed = [](const std::string& line) {
    return ParseReportLine(std::string_view(line).substr(0, line.size() - 1));
  };
  const ReportLine side = parsed(SideLine(7, 3));
  EXPECT_TRUE(side.kind == ReportLine::Kind::kSide && side.first == 7u && side.second == 3u);
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
  const std::string after = testing::ReadFile(file);
  EXPECT_NE(after.find("Job completed=\"1234\" format=\"application/pdf\" id=\"2\" "
                       "name=\"quote \\\" in it\" state=\"8\" state_reasons=\"1\" username=\"u\"\n"),
            std::string::npos)
      << after;
  EXPECT_NE(after.find("id=\"5\" name=\"n\" state=\"8\""), std::string::npos) << after;
  EXPECT_NE(after.find("id=\"6\" name=\"next\" state=\"3\""), std::string::npos) << after;
  EXPECT_FALSE(std::filesystem::exists(doc1));
  EXPECT_FALSE(std::filesystem::exists(doc2));
}

// A spooled document is raster by its first bytes: PWG's sync word, or
// Apple raster's with its NUL.
TEST(RasterSpooling, TellsRasterByItsFirstBytes) {
  const testing::ScratchDir dir("raster");
  const std::pair<std::string, bool> cases[] = {
      {std::string("RaS2PwgRaster\0", 14), true}, {std::string("UNIRAST\0\1\0\0\0", 12), true},
      {"UNIRASTX", false}, {"%PDF-1.7\n", false}, {"RaS2", false}, {"", false}};
  for (const auto& [bytes, raster] : cases) {
    std::ofstream(dir.path() / "doc", std::ios::binary | std::ios::trunc) << bytes;
    EXPECT_EQ(IsRasterFile((dir.path() / "doc").c_str()), raster) << bytes;
  }
  EXPECT_FALSE(IsRasterFile((dir.path() / "missing").c_str()));
}

}  // namespace
}  // namespace pclspool::app
