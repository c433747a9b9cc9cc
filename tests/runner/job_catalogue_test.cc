// The catalogue of job options: its defaults are the ticket's, every value
// it offers reads back as itself, the job process gets the ticket it was
// given, and the printer application's watermark keywords stay distinct.
#include "runner/job_catalogue.h"

#include <gtest/gtest.h>

namespace pclspool::runner {
namespace {

TEST(JobCatalogue, DefaultsAndValuesReadBackAsThemselves) {
  TicketReader defaults;
  std::string error;
  for (const JobOption& o : JobCatalogue()) {
    SCOPED_TRACE(std::string(o.name));
    if (!o.default_value.empty()) {
      EXPECT_TRUE(defaults.Read(o, o.default_value, false, &error)) << error;
    }
    EXPECT_EQ(!o.write, o.name == "landscape" || o.name == "booklet-binding" ||
                            o.name == "finishings" || o.name == "mirror")
        << "a spelling is written by the entry it spells";
    for (const OptionValue& v : o.values) {
      TicketReader reader, again;
      ASSERT_TRUE(reader.Read(o, v.keyword, true, &error)) << error;
      EXPECT_FALSE(v.label.empty());
      if (!o.write) continue;
      ASSERT_TRUE(again.Read(o, o.write(reader.ticket()), true, &error)) << error;
      EXPECT_EQ(WriteTicket(again.ticket()), WriteTicket(reader.ticket())) << v.keyword;
    }
    for (const PpdChoice& c : o.ppd_choices) {
      TicketReader reader;
      EXPECT_TRUE(reader.Read(o, c.value, true, &error)) << c.choice << ": " << error;
    }
  }
  EXPECT_EQ(WriteTicket(defaults.ticket()), WriteTicket({}));
}

TEST(JobCatalogue, TheJobProcessGetsTheTicketAsItIs) {
  JobTicket t;
  t.copies = 7, t.collate = false, t.documents = DocumentCopies::kUncollated;
  t.paper = "legal", t.sides = Sides::kShortEdge, t.orientation = Orientation::kReversePortrait;
  t.number_up = 4, t.number_up_layout = NupLayout::kBtrl, t.page_set = PageSet::kEven;
  t.reverse_order = true, t.page_border = true, t.booklet = true, t.booklet_style = 1;
  t.watermark = 12, t.page_ranges = "2-4,9-", t.scaling = Scaling::kFill;
  JobTicket back;
  std::string error;
  ASSERT_TRUE(ReadTicket(WriteTicket(t), &back, &error)) << error;
  EXPECT_EQ(WriteTicket(back), WriteTicket(t));
  for (const char* bad : {"colour=1", "copies=100", "finishings=13", "copies"}) {
    EXPECT_FALSE(ReadTicket(bad, &back, &error)) << bad;
  }
}

TEST(JobCatalogue, ValuesAreRefusedNamingTheOption) {
  const struct {
    const char* option;
    const char* value;
    const char* error;  // empty: taken
  } cases[] = {
      {"copies", "100", "copies=100: the copier makes 1 to 99 copies"},
      {"number-up", "6", "number-up=6: the copier prints 1, 2 or 4 pages on a side"},
      {"page-ranges", "5-2147483647", ""},
      {"page-ranges", "4-2", "page-ranges=4-2: "},
      {"orientation-requested", "landscape", ""},
      {"orientation-requested", "9", "orientation-requested=9"},
      {"booklet", "shuffle-only", "booklet=shuffle-only"},
      {"finishings", "20,78", ""},
      {"watermark", "secret", "watermark=secret: the settings file has no such watermark text"},
  };
  for (const auto& c : cases) {
    TicketReader reader;
    std::string error;
    EXPECT_EQ(reader.Read(*FindJobOption(c.option), c.value, true, &error), !*c.error) << error;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
}

TEST(JobCatalogue, WatermarkKeywordsAreMadeFromTheTextsAndStayDistinct) {
  EXPECT_EQ(WatermarkKeywords({"CONFIDENTIAL", "Top  Secret!", "  draft 2 ", "***", "None",
                               "Confidential", "Vertraulich – intern"}),
            (std::vector<std::string>{"confidential", "top-secret", "draft-2", "text-4", "none-5",
                                      "confidential-6", "vertraulich-intern"}));
}

}  // namespace
}  // namespace pclspool::runner
