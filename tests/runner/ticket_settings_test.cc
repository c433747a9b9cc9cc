// A job ticket turned into the runner's options: every option applied
// once, by the module or by the printer, never by both.
#include "runner/ticket_settings.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace pclspool::runner {
namespace {

std::map<std::string, std::string> Settings(const JobOptions& o) {
  std::map<std::string, std::string> m;
  for (const auto& [key, value] : o.settings) {
    EXPECT_TRUE(m.emplace(key, value).second) << key << " set twice";
  }
  return m;
}

TEST(PrintMapping, CopiesLayoutAndSides) {
  struct Case {
    const char* name;
    InputKind kind;
    JobTicket ticket;
    // COPIES, FINISHER UNIT, GROUPSORT, TWOupFOUR, PAPER CODE, DUPLEX
    std::map<std::string, std::string> settings;
    uint16_t printer_copies;
  };
  auto with = [](auto change) {
    JobTicket t;
    change(t);
    return t;
  };
  constexpr InputKind kPdf = InputKind::kPdf;
  const Case cases[] = {
      {"one copy", kPdf, {},
       {{"COPIES", "1"}, {"FINISHER UNIT", "0"}, {"GROUPSORT", "0"}, {"TWOupFOUR", "0"},
        {"PAPER CODE", "9"}, {"DUPLEX", "0"}}, 1},
      {"collated copies are the module's", kPdf, with([](JobTicket& r) { r.copies = 3; }),
       {{"COPIES", "3"}, {"FINISHER UNIT", "1"}, {"GROUPSORT", "1"}}, 1},
      {"uncollated copies are the printer's", kPdf,
       with([](JobTicket& r) { r.copies = 3, r.collate = false; }),
       {{"COPIES", "1"}, {"FINISHER UNIT", "0"}, {"GROUPSORT", "0"}}, 3},
      {"a booklet's copies are collated", kPdf,
       with([](JobTicket& r) { r.copies = 2, r.collate = false, r.booklet = true; }),
       {{"COPIES", "2"}, {"GROUPSORT", "1"}, {"PAPER CODE", "1033"}, {"DUPLEX", "2"}}, 1},
      {"a booklet turns over the short edge", kPdf,
       with([](JobTicket& r) { r.booklet = true, r.sides = Sides::kLongEdge; }),
       {{"PAPER CODE", "1033"}, {"DUPLEX", "2"}}, 1},
      {"two-up Letter, long edge", kPdf,
       with([](JobTicket& r) { r.number_up = 2, r.paper = "letter", r.sides = Sides::kLongEdge; }),
       {{"TWOupFOUR", "1"}, {"PAPER CODE", "1"}, {"DUPLEX", "1"}, {"XDIMENSION", "5100"},
        {"YDIMENSION", "6600"}}, 1},
      {"four-up A3 landscape", kPdf, with([](JobTicket& r) {
         r.number_up = 4, r.paper = "a3", r.orientation = Orientation::kLandscape;
       }),
       {{"TWOupFOUR", "2"}, {"PAPER CODE", "8"}, {"ORIENTATION", "2"}, {"XDIMENSION", "7014"},
        {"YDIMENSION", "9920"}}, 1},
      {"A PCL job is not placed again", InputKind::kPcl, with([](JobTicket& r) {
         r.number_up = 4, r.booklet = true, r.copies = 2, r.collate = false;
       }),
       {{"TWOupFOUR", "0"}, {"PAPER CODE", "9"}, {"COPIES", "1"}, {"GROUPSORT", "0"}}, 2},
  };
  for (const Case& c : cases) {
    JobOptions o;
    std::string left_out;
    ApplyTicket(c.ticket, c.kind, &o, &left_out);
    EXPECT_EQ(left_out.empty(), c.kind != InputKind::kPcl || c.ticket.number_up == 1) << c.name;
    const auto settings = Settings(o);
    for (const auto& [key, value] : c.settings) {
      const auto it = settings.find(key);
      ASSERT_NE(it, settings.end()) << c.name << ": " << key;
      EXPECT_EQ(it->second, value) << c.name << ": " << key;
    }
    EXPECT_EQ(o.uncollated_copies, c.printer_copies) << c.name;
    // Never both: the printer's copies of the module's copies.
    EXPECT_TRUE(o.uncollated_copies == 1 || settings.at("COPIES") == "1") << c.name;
  }
}

// The sides' choices and the page ranges reach the rendering side; a
// booklet keeps its own order, a PCL job its order and all its pages, and
// each says so. The watermark is every job's.
TEST(PrintMapping, SidesChosenAndOrdered) {
  JobTicket t;
  t.page_ranges = "2-3,7";
  t.watermark = 2;
  t.page_set = PageSet::kOdd;
  t.reverse_order = true;
  t.number_up_layout = NupLayout::kTbrl;
  t.page_border = true;
  t.orientation = Orientation::kReverseLandscape;
  t.documents = DocumentCopies::kUncollated;
  const struct {
    const char* name;
    InputKind kind;
    bool booklet;
    bool applied;
  } cases[] = {{"PDF", InputKind::kPdf, false, true},
               {"booklet", InputKind::kPdf, true, false},
               {"PCL", InputKind::kPcl, false, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    t.booklet = c.booklet;
    JobOptions o;
    std::string left_out;
    ApplyTicket(t, c.kind, &o, &left_out);
    EXPECT_EQ(o.page_set == PageSet::kOdd, c.applied);
    EXPECT_EQ(o.reverse_order, c.applied);
    EXPECT_EQ(o.number_up_layout == NupLayout::kTbrl, c.applied);
    EXPECT_EQ(o.page_border, c.applied);
    EXPECT_EQ(o.upside_down, c.kind != InputKind::kPcl);
    EXPECT_EQ(o.documents, DocumentCopies::kUncollated);
    EXPECT_EQ(o.page_ranges, c.kind == InputKind::kPcl ? "" : "2-3,7");
    EXPECT_EQ(o.watermark, 2);
    EXPECT_EQ(left_out.empty(), c.applied);
  }
}

}  // namespace
}  // namespace pclspool::runner
