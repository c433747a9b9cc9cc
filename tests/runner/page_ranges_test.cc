// Page selections as --page-ranges reads them.
#include <gtest/gtest.h>

#include "runner/page_ranges.h"

namespace pclspool::runner {
namespace {

TEST(PageRanges, ReadsAndRefuses) {
  const struct {
    const char* text;
    const char* want;   // normalised, or null when refused
    const char* error;  // part of the message when refused
  } cases[] = {
      {"7", "7", nullptr},
      {"1-3,7,10-", "1-3,7,10-", nullptr},
      {" 2 - 4 , 9 ", "2-4,9", nullptr},
      {"5-5", "5", nullptr},
      {"1000000", "1000000", nullptr},
      {"", nullptr, "names no page"},
      {"0", nullptr, "not a page number"},
      {"1000001", nullptr, "not a page number"},
      {"-3", nullptr, "not a page number"},
      {"a-b", nullptr, "not a page number"},
      {"4-2", nullptr, "runs backwards"},
      {"3,1", nullptr, "does not come after"},
      {"1-4,4", nullptr, "does not come after"},
      {"2-,9", nullptr, "runs to the last page"},
      {"1,,2", nullptr, "not a page number"},
      {"3-x", nullptr, "not a range"},
  };
  for (const auto& c : cases) {
    std::string out, error;
    const bool ok = ParsePageRanges(c.text, &out, &error);
    EXPECT_EQ(ok, c.want != nullptr) << c.text << ": " << error;
    if (c.want) {
      EXPECT_EQ(out, c.want) << c.text;
    }
    if (c.error) {
      EXPECT_NE(error.find(c.error), std::string::npos) << c.text << ": " << error;
    }
  }
  std::string many;
  for (int i = 1; i <= kMaxPageRanges + 1; ++i) many += (i > 1 ? "," : "") + std::to_string(i);
  std::string out, error;
  EXPECT_FALSE(ParsePageRanges(many, &out, &error));
  EXPECT_NE(error.find("too many"), std::string::npos) << error;
}

}  // namespace
}  // namespace pclspool::runner
