// The filter's arguments and the job's options, marked on the PPD that
// ships with it, as CUPS hands them to the filter; and that PPD's options
// against the catalogue.
#include "filter/request_reader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "runner/job_catalogue.h"
#include "support/ticket_words.h"

#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cups/ppd.h>

namespace pclspool::filter {
namespace {

struct Read {
  bool ok;
  JobRequest request;
  std::string error;
};

Read ReadWith(const std::string& copies, const std::string& options,
              const std::string& ppd = PCLSPOOL_PPD, const char* file = nullptr) {
  std::vector<const char*> argv = {"copier", "17",           "alice",
                                   "report", copies.c_str(), options.c_str()};
  if (file) argv.push_back(file);
  Read r;
  r.ok = ReadJobRequest(static_cast<int>(argv.size()), argv.data(), ppd, &r.request, &r.error);
  return r;
}

const auto Changed = testing::ChangedTicketWords;

// The queue's defaults are the catalogue's; what cupsd hands over in CUPS's
// and the PPD's spellings reads as the options they spell.
TEST(RequestReader, CupsSpellings) {
  const struct {
    const char* options;
    std::vector<std::string> ticket;  // what differs from the default ticket
    std::size_t notes = 0;
  } cases[] = {
      {"", {}},
      {"media=Letter", {"media=na_letter_8.5x11in"}},
      {"media=iso_a3_297x420mm sides=two-sided-long-edge",
       {"media=iso_a3_297x420mm", "sides=two-sided-long-edge"}},
      {"PageSize=Legal Duplex=DuplexTumble", {"media=na_legal_8.5x14in", "sides=two-sided-short-edge"}},
      {"nocollate", {"collate=false"}},
      // As cupsd marks it: uncollated documents are uncollated copies,
      // unless the job asks for collated ones (A A B B, each a whole copy).
      {"multiple-document-handling=separate-documents-uncollated-copies",
       {"collate=false", "multiple-document-handling=separate-documents-uncollated-copies"}},
      {"multiple-document-handling=separate-documents-uncollated-copies collate=true",
       {"multiple-document-handling=separate-documents-uncollated-copies"}},
      {"Booklet=On BindEdge=Right", {"booklet=right"}},
      {"booklet=true", {"booklet=left"}},
      {"finishings=13", {"booklet=left"}},
      {"landscape", {"orientation-requested=4"}},
      {"outputorder=reverse page-border=double page-set=even number-up-layout=btlr",
       {"number-up-layout=btlr", "page-set=even", "output-order=reverse", "page-border=single"}},
      {"page-ranges=1-1,5-2147483647 Watermark=2", {"watermark=2", "page-ranges=1,5-"}},
      {"Watermark=12", {}},  // not among the PPD's choices: the queue's default
      {"mirror print-scaling=fill", {"print-scaling=fill"}, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.options);
    const Read r = ReadWith("1", c.options);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(Changed(r.request.ticket), c.ticket);
    EXPECT_EQ(r.request.not_applied.size(), c.notes);
  }
}

// The PPD's options are the catalogue's: their labels, their choices with
// what each stands for, and their defaults.
TEST(RequestReader, ThePpdAgreesWithTheCatalogue) {
  ppd_file_t* ppd = ppdOpenFile(PCLSPOOL_PPD);
  ASSERT_NE(ppd, nullptr);
  for (const runner::JobOption& o : runner::JobCatalogue()) {
    if (o.ppd.empty()) continue;
    SCOPED_TRACE(std::string(o.ppd));
    ppd_option_t* option = ppdFindOption(ppd, std::string(o.ppd).c_str());
    ASSERT_NE(option, nullptr);
    EXPECT_EQ(option->text, o.ppd_label);
    ASSERT_EQ(static_cast<std::size_t>(option->num_choices), o.ppd_choices.size());
    for (const runner::PpdChoice& c : o.ppd_choices) {
      const ppd_choice_t* choice = ppdFindChoice(option, std::string(c.choice).c_str());
      ASSERT_NE(choice, nullptr) << c.choice;
      EXPECT_EQ(choice->text, c.label);
    }
    runner::TicketReader by_ppd, by_catalogue;
    std::string error;
    EXPECT_TRUE(by_ppd.Read(o, runner::PpdChoiceValue(o, option->defchoice), false, &error));
    EXPECT_TRUE(by_catalogue.Read(o, o.default_value, false, &error));
    EXPECT_EQ(runner::WriteTicket(by_ppd.ticket()), runner::WriteTicket(by_catalogue.ticket()));
  }
  ppdClose(ppd);
}

TEST(RequestReader, Refusals) {
  struct Case {
    const char* name;
    std::string copies;
    std::string options;
    std::string ppd;
    const char* error;  // a part of the message
  } cases[] = {
      {"six-up", "1", "number-up=6", PCLSPOOL_PPD, "number-up=6"},
      {"too many copies", "100", "", PCLSPOOL_PPD, "copies=100: the copier makes 1 to 99"},
      {"copies not a number", "two", "", PCLSPOOL_PPD, "copies=two"},
      {"bad page range", "1", "page-ranges=4-2", PCLSPOOL_PPD, "runs backwards"},
      {"bad orientation", "1", "orientation-requested=9", PCLSPOOL_PPD, "orientation-requested=9"},
      {"booklet shuffle", "1", "booklet=shuffle-only", PCLSPOOL_PPD, "booklet=shuffle-only"},
      {"landscape maybe", "1", "landscape=maybe", PCLSPOOL_PPD, "landscape=maybe"},
      {"no PPD", "1", "", "", "PPD environment variable"},
      {"missing PPD", "1", "", "/nonexistent/copier.ppd", "/nonexistent/copier.ppd"},
  };
  for (const Case& c : cases) {
    const Read r = ReadWith(c.copies, c.options, c.ppd);
    EXPECT_FALSE(r.ok) << c.name;
    EXPECT_NE(r.error.find(c.error), std::string::npos) << c.name << ": " << r.error;
  }

  std::string error;
  JobRequest request;
  const char* too_few[] = {"copier", "1", "alice", "title", "1"};
  EXPECT_FALSE(ReadJobRequest(5, too_few, PCLSPOOL_PPD, &request, &error));
  EXPECT_NE(error.find("job-id user title copies options [file]"), std::string::npos);
  const char* bad_id[] = {"copier", "x1", "alice", "title", "1", ""};
  EXPECT_FALSE(ReadJobRequest(6, bad_id, PCLSPOOL_PPD, &request, &error));
  EXPECT_NE(error.find("job-id 'x1'"), std::string::npos) << error;
}

TEST(RequestReader, TheArguments) {
  const Read r = ReadWith("3", "", PCLSPOOL_PPD, "/var/spool/cups/d00017-001");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.request.job_id, 17u);
  EXPECT_EQ(r.request.input, "/var/spool/cups/d00017-001");
  EXPECT_EQ(r.request.ticket.copies, 3);
}

}  // namespace
}  // namespace pclspool::filter
