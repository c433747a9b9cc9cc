// The values of CUPS's standard options, as the filter parses them.
#include "filter/option_values.h"

#include <gtest/gtest.h>

#include <string>


namespace pclspool::filter {
namespace {

// The page list itself is the runner's (tests/page_ranges_test.cc); here,
// what CUPS sends.
TEST(OptionValues, PageRanges) {
  struct Case {
    const char* name;
    const char* text;
    const char* page_list;  // null: refused
  } cases[] = {
      {"as cupsd writes IPP ranges", "1-1,3-4", "1,3-4"},
      {"open end as lp sends it", "5-2147483647", "5-"},
      {"open end after others", "1-2,5-2147483647", "1-2,5-"},
      {"the largest IPP integer as a page", "2147483647", nullptr},
      {"out of order", "7,1-2", nullptr},
      {"backwards", "5-2", nullptr},
      {"empty", "", nullptr},
  };
  for (const Case& c : cases) {
    std::string got = "unchanged";
    std::string error;
    EXPECT_EQ(ParsePageRanges(c.text, &got, &error), c.page_list != nullptr) << c.name;
    if (c.page_list) {
      EXPECT_EQ(got, c.page_list) << c.name;
    } else {
      EXPECT_EQ(got, "unchanged") << c.name;
      EXPECT_EQ(error.rfind(std::string("page-ranges=") + c.text + ": ", 0), 0u)
          << c.name << ": " << error;
    }
  }
}

TEST(OptionValues, Numbers) {
  struct Case {
    const char* name;
    bool (*parse)(std::string_view, int*, std::string*);
    const char* text;
    bool ok;
    int value;
  } cases[] = {
      {"one copy", ParseCopies, "1", true, 1},
      {"most copies", ParseCopies, "99", true, 99},
      {"more copies than the module makes", ParseCopies, "100", false, 0},
      {"no copies", ParseCopies, "0", false, 0},
      {"copies not a number", ParseCopies, "3x", false, 0},
      {"one-up", ParseNumberUp, "1", true, 1},
      {"two-up", ParseNumberUp, "2", true, 2},
      {"four-up", ParseNumberUp, "4", true, 4},
      {"six-up is not printed", ParseNumberUp, "6", false, 0},
      {"sixteen-up is not printed", ParseNumberUp, "16", false, 0},
      {"three-up is not printed", ParseNumberUp, "3", false, 0},
  };
  for (const Case& c : cases) {
    int got = -1;
    std::string error;
    EXPECT_EQ(c.parse(c.text, &got, &error), c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(got, c.value) << c.name;
    } else {
      EXPECT_FALSE(error.empty()) << c.name;
    }
  }
}

TEST(OptionValues, OrientationAndSwitches) {
  struct Case {
    const char* name;
    bool orientation;  // else a switch
    const char* text;
    bool ok;
    bool value;
  } cases[] = {
      {"portrait", true, "3", true, false},
      {"landscape", true, "4", true, true},
      {"reverse landscape", true, "5", true, true},
      {"reverse portrait", true, "6", true, false},
      {"no such orientation", true, "7", false, false},
      {"orientation by name", true, "landscape", false, false},
      {"on", false, "on", true, true},
      {"TRUE", false, "TRUE", true, true},
      {"yes", false, "yes", true, true},
      {"off", false, "off", true, false},
      {"False", false, "False", true, false},
      {"no", false, "no", true, false},
      {"shuffle-only is not a switch", false, "shuffle-only", false, false},
  };
  for (const Case& c : cases) {
    bool got = !c.value;
    std::string error;
    runner::Orientation orientation{};
    const bool ok = c.orientation ? ParseOrientation(c.text, &orientation, &error)
                                  : ParseSwitch("booklet", c.text, &got, &error);
    // Orientations: the value is whether it turns the page a quarter.
    if (c.orientation) got = orientation == runner::Orientation::kLandscape ||
                             orientation == runner::Orientation::kReverseLandscape;
    EXPECT_EQ(ok, c.ok) << c.name;
    if (c.ok) {
      EXPECT_EQ(got, c.value) << c.name;
    }
  }
}

}  // namespace
}  // namespace pclspool::filter
