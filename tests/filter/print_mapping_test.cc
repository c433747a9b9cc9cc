// A job's request turned into the runner's options: every option applied
// once, by the module or by the printer, never by both.
#include "print_mapping.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace pclspool::filter {
namespace {

std::map<std::string, std::string> Settings(const cli::PrintOptions& o) {
  std::map<std::string, std::string> m;
  for (const auto& [key, value] : o.settings) {
    EXPECT_TRUE(m.emplace(key, value).second) << key << " set twice";
  }
  return m;
}

JobRequest Pdf() {
  JobRequest r;
  r.kind = InputKind::kPdf;
  return r;
}

TEST(PrintMapping, CopiesLayoutAndSides) {
  struct Case {
    const char* name;
    JobRequest request;
    // COPIES, FINISHER UNIT, GROUPSORT, TWOupFOUR, PAPER CODE, DUPLEX
    std::map<std::string, std::string> settings;
    uint16_t printer_copies;
  };
  auto with = [](JobRequest r, auto change) {
    change(r);
    return r;
  };
  const Case cases[] = {
      {"one copy", Pdf(),
       {{"COPIES", "1"}, {"FINISHER UNIT", "0"}, {"GROUPSORT", "0"}, {"TWOupFOUR", "0"},
        {"PAPER CODE", "9"}, {"DUPLEX", "0"}},
       1},
      {"collated copies are the module's",
       with(Pdf(), [](JobRequest& r) { r.copies = 3; }),
       {{"COPIES", "3"}, {"FINISHER UNIT", "1"}, {"GROUPSORT", "1"}},
       1},
      {"uncollated copies are the printer's",
       with(Pdf(), [](JobRequest& r) { r.copies = 3, r.collate = false; }),
       {{"COPIES", "1"}, {"FINISHER UNIT", "0"}, {"GROUPSORT", "0"}},
       3},
      {"a booklet's copies are collated",
       with(Pdf(), [](JobRequest& r) { r.copies = 2, r.collate = false, r.booklet = true; }),
       {{"COPIES", "2"}, {"GROUPSORT", "1"}, {"PAPER CODE", "1033"}, {"DUPLEX", "2"}},
       1},
      {"a booklet turns over the short edge",
       with(Pdf(), [](JobRequest& r) { r.booklet = true, r.sides = Sides::kLongEdge; }),
       {{"PAPER CODE", "1033"}, {"DUPLEX", "2"}},
       1},
      {"two-up Letter, long edge",
       with(Pdf(), [](JobRequest& r) {
         r.number_up = 2, r.paper_code = kPaperLetter, r.sides = Sides::kLongEdge;
       }),
       {{"TWOupFOUR", "1"}, {"PAPER CODE", "1"}, {"DUPLEX", "1"}, {"XDIMENSION", "5100"},
        {"YDIMENSION", "6600"}},
       1},
      {"four-up A3 landscape",
       with(Pdf(), [](JobRequest& r) {
         r.number_up = 4, r.paper_code = kPaperA3, r.landscape = true;
       }),
       {{"TWOupFOUR", "2"}, {"PAPER CODE", "8"}, {"ORIENTATION", "2"}, {"XDIMENSION", "7014"},
        {"YDIMENSION", "9920"}},
       1},
      {"Legal", with(Pdf(), [](JobRequest& r) { r.paper_code = kPaperLegal; }),
       {{"PAPER CODE", "5"}, {"XDIMENSION", "5100"}, {"YDIMENSION", "8400"}},
       1},
      {"A PCL job is not placed again",
       with(Pdf(), [](JobRequest& r) {
         r.kind = InputKind::kPcl, r.number_up = 4, r.booklet = true;
         r.copies = 2, r.collate = false;
       }),
       {{"TWOupFOUR", "0"}, {"PAPER CODE", "9"}, {"COPIES", "1"}, {"GROUPSORT", "0"}},
       2},
      {"A PCL job's collated copies are the module's",
       with(Pdf(), [](JobRequest& r) { r.kind = InputKind::kPcl, r.copies = 4; }),
       {{"COPIES", "4"}, {"FINISHER UNIT", "1"}, {"GROUPSORT", "1"}},
       1},
  };
  for (const Case& c : cases) {
    const cli::PrintOptions o = MapRequest(c.request, "/etc/cups/pclspool/OrvWater.INI");
    const auto settings = Settings(o);
    for (const auto& [key, value] : c.settings) {
      const auto it = settings.find(key);
      ASSERT_NE(it, settings.end()) << c.name << ": " << key;
      EXPECT_EQ(it->second, value) << c.name << ": " << key;
    }
    EXPECT_EQ(o.printer_copies, c.printer_copies) << c.name;
    // Never both: the printer's copies of the module's copies.
    EXPECT_TRUE(o.printer_copies == 1 || settings.at("COPIES") == "1") << c.name;
    EXPECT_EQ(o.ini, "/etc/cups/pclspool/OrvWater.INI");
  }
}

TEST(PrintMapping, PageRangesAndWatermark) {
  JobRequest r = Pdf();
  r.page_ranges = "2-3,7";
  r.watermark = 2;
  r.job_id = 42;
  r.input = "/var/spool/cups/d00042-001";
  cli::PrintOptions o = MapRequest(r, "ini");
  EXPECT_EQ(o.page_ranges, "2-3,7");
  EXPECT_EQ(o.watermark, 2);
  EXPECT_EQ(o.job_id, 42u);
  ASSERT_EQ(o.inputs.size(), 1u);
  EXPECT_EQ(o.inputs[0], r.input);

  // A PCL job prints whole; standard input is no named input.
  r.kind = InputKind::kPcl;
  r.input.clear();
  o = MapRequest(r, "ini");
  EXPECT_TRUE(o.page_ranges.empty());
  EXPECT_TRUE(o.inputs.empty());
  EXPECT_EQ(o.watermark, 2);
}

}  // namespace
}  // namespace pclspool::filter
