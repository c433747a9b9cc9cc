// The filter's arguments and the job's options, marked on the PPD that
// ships with it, as CUPS hands them to the filter.
#include "filter/request_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(RequestReader, QueueDefaults) {
  const Read r = ReadWith("1", "");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.request.job_id, 17u);
  EXPECT_EQ(r.request.ticket.copies, 1);
  EXPECT_TRUE(r.request.ticket.collate);
  EXPECT_EQ(r.request.ticket.paper, "a4");
  EXPECT_EQ(r.request.ticket.sides, runner::Sides::kOneSided);
  EXPECT_EQ(r.request.ticket.number_up, 1);
  EXPECT_FALSE(r.request.ticket.booklet);
  EXPECT_EQ(r.request.ticket.booklet_style, 0);
  EXPECT_EQ(r.request.ticket.orientation, runner::Orientation::kPortrait);
  EXPECT_EQ(r.request.ticket.watermark, 0);
  EXPECT_TRUE(r.request.ticket.page_ranges.empty());
  EXPECT_TRUE(r.request.input.empty());
}

TEST(RequestReader, StandardAndPpdOptions) {
  struct Case {
    const char* name;
    const char* options;
    void (*check)(const JobRequest&);
  } cases[] = {
      {"media by name", "media=Letter",
       [](const JobRequest& r) { EXPECT_EQ(r.ticket.paper, "letter"); }},
      {"media by its PWG name", "media=iso_a3_297x420mm",
       [](const JobRequest& r) { EXPECT_EQ(r.ticket.paper, "a3"); }},
      {"media by PWG name, Legal", "media=na_legal_8.5x14in",
       [](const JobRequest& r) { EXPECT_EQ(r.ticket.paper, "legal"); }},
      {"PageSize", "PageSize=A3", [](const JobRequest& r) { EXPECT_EQ(r.ticket.paper, "a3"); }},
      {"sides, long edge", "sides=two-sided-long-edge",
       [](const JobRequest& r) { EXPECT_EQ(r.ticket.sides, runner::Sides::kLongEdge); }},
      {"sides, short edge", "sides=two-sided-short-edge",
       [](const JobRequest& r) { EXPECT_EQ(r.ticket.sides, runner::Sides::kShortEdge); }},
      {"collate=false", "collate=false", [](const JobRequest& r) { EXPECT_FALSE(r.ticket.collate); }},
      {"nocollate, as cupsd writes a false boolean", "nocollate",
       [](const JobRequest& r) { EXPECT_FALSE(r.ticket.collate); }},
      // Each document's copies whole (A A B B), not its sheets repeated.
      {"uncollated document handling",
       "multiple-document-handling=separate-documents-uncollated-copies",
       [](const JobRequest& r) {
         EXPECT_TRUE(r.ticket.collate);
         EXPECT_EQ(r.ticket.documents, runner::DocumentCopies::kUncollated);
       }},
      {"sides chosen and ordered",
       "page-set=even outputorder=reverse number-up-layout=btlr page-border=double mirror=true",
       [](const JobRequest& r) {
         EXPECT_EQ(r.ticket.page_set, runner::PageSet::kEven);
         EXPECT_TRUE(r.ticket.reverse_order);
         EXPECT_EQ(r.ticket.number_up_layout, runner::NupLayout::kBtlr);
         EXPECT_TRUE(r.ticket.page_border);
         EXPECT_EQ(r.not_applied.size(), 1u);
       }},
      {"collated document handling",
       "multiple-document-handling=separate-documents-collated-copies",
       [](const JobRequest& r) { EXPECT_TRUE(r.ticket.collate); }},
      {"watermark", "Watermark=2", [](const JobRequest& r) { EXPECT_EQ(r.ticket.watermark, 2); }},
      {"watermark not among the choices keeps the default", "Watermark=12",
       [](const JobRequest& r) { EXPECT_EQ(r.ticket.watermark, 0); }},
      {"booklet=on", "booklet=on", [](const JobRequest& r) { EXPECT_TRUE(r.ticket.booklet); }},
      {"booklet=true", "booklet=true", [](const JobRequest& r) { EXPECT_TRUE(r.ticket.booklet); }},
      {"Booklet=On, the PPD's choice", "Booklet=On",
       [](const JobRequest& r) { EXPECT_TRUE(r.ticket.booklet); }},
      {"bound on the right", "booklet BindEdge=Right",
       [](const JobRequest& r) { EXPECT_EQ(r.ticket.booklet_style, 1); }},
      {"number-up", "number-up=4", [](const JobRequest& r) { EXPECT_EQ(r.ticket.number_up, 4); }},
      {"page-ranges", "page-ranges=2-3,5-5",
       [](const JobRequest& r) { EXPECT_EQ(r.ticket.page_ranges, "2-3,5"); }},
      {"landscape", "orientation-requested=4",
       [](const JobRequest& r) { EXPECT_EQ(r.ticket.orientation, runner::Orientation::kLandscape); }},
      {"the older landscape switch", "landscape",
       [](const JobRequest& r) { EXPECT_EQ(r.ticket.orientation, runner::Orientation::kLandscape); }},
      {"all at once", "number-up=2 collate=true Watermark=1 media=A4 sides=one-sided",
       [](const JobRequest& r) {
         EXPECT_EQ(r.ticket.number_up, 2);
         EXPECT_TRUE(r.ticket.collate);
         EXPECT_EQ(r.ticket.watermark, 1);
         EXPECT_EQ(r.ticket.paper, "a4");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Read r = ReadWith("1", c.options);
    ASSERT_TRUE(r.ok) << r.error;
    c.check(r.request);
  }
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
      {"too many copies", "100", "", PCLSPOOL_PPD, "at most 99 copies"},
      {"copies not a number", "two", "", PCLSPOOL_PPD, "copies=two"},
      {"bad page range", "1", "page-ranges=4-2", PCLSPOOL_PPD, "runs backwards"},
      {"bad orientation", "1", "orientation-requested=9", PCLSPOOL_PPD, "orientation-requested=9"},
      {"booklet shuffle", "1", "booklet=shuffle-only", PCLSPOOL_PPD, "booklet=shuffle-only"},
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

TEST(RequestReader, TheFileArgument) {
  const Read r = ReadWith("3", "", PCLSPOOL_PPD, "/var/spool/cups/d00017-001");
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.request.input, "/var/spool/cups/d00017-001");
  EXPECT_EQ(r.request.ticket.copies, 3);
}

}  // namespace
}  // namespace pclspool::filter
