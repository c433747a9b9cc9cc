// Stored pages that are lost (a page file that cannot be created, or that
// fills up mid-page) are left out of every replay whole, and when the lost
// page carried the watermark's soft font, the next page carries it again.
// This is the module's own policy, the same in the library and the DLL.
#include <gtest/gtest.h>

#include "job/job_context.h"
#include "support/fakes/fake_text.h"
#include "support/fakes/hook_driver.h"

namespace pclspool {
namespace {

using testing::kUelBytes;
using testing::NumberedPages;
using testing::PrintJob;

const HANDLE kPrinter = testing::PrinterHandle(0x40);
const std::u16string kDir = u"C:\\WINNT\\system32\\";

void SetSettings(testing::FakePlatform& fp,
                 std::initializer_list<std::pair<const char16_t*, const char16_t*>> kv) {
  for (const auto& [k, v] : kv) fp.profile.Set(u"SETTING", k, v);
}

TEST(PageLoss, ALostPageIsLeftOutOfEveryReplayWhole) {
  struct Case {
    const char* name;
    bool booklet;
    const char16_t* page;     // the page file that fails
    bool cannot_create;       // else it takes only 2 bytes
    std::string replay;       // what one copy sends
  } cases[] = {
      {"collated, page 2 cut short", false, u"Orv40.2", false, "<1>\f<3>" + kUelBytes},
      {"collated, page 2 not created", false, u"Orv40.2", true, "<1>\f<3>" + kUelBytes},
      {"collated, last page cut short", false, u"Orv40.3", false, "<1>\f<2>" + kUelBytes},
      // Four pages as a booklet: 1 4 | 2 3, with page 3 gone.
      {"booklet, page 3 cut short", true, u"Orv40.3", false,
       "<1><4>\f<2>" + kUelBytes},
  };
  for (const Case& c : cases) {
    testing::FakePlatform fp;
    if (c.booklet) {
      SetSettings(fp, {{u"PAPER CODE", u"1033"}, {u"FINISHER UNIT", u"1"}, {u"GROUPSORT", u"1"},
                       {u"COPIES", u"2"}});
    } else {
      SetSettings(fp, {{u"FINISHER UNIT", u"1"}, {u"GROUPSORT", u"1"}, {u"COPIES", u"2"}});
    }
    const std::u16string path = kDir + c.page;
    if (c.cannot_create) {
      fp.files.fail_create.push_back(path);
    } else {
      fp.files.room[path] = 2;
    }
    const std::string out = PrintJob(fp, kPrinter, NumberedPages(c.booklet ? 4 : 3));
    EXPECT_EQ(out, c.replay + c.replay) << c.name;
    EXPECT_TRUE(fp.files.files.empty()) << c.name << ": no page file left";
    EXPECT_EQ(fp.files.open_handles(), 0) << c.name;
    if (!c.cannot_create) {
      EXPECT_NE(std::find(fp.debug.trace.begin(), fp.debug.trace.end(),
                          u"    Page " + std::u16string(1, c.page[6]) +
                              u" left out: its page file was cut short\n"),
                fp.debug.trace.end())
          << c.name;
    }
  }
}

// A collated watermarked job sends the soft font with its first page only.
// When that page is lost, the next stored page sends it instead, so that
// every replayed copy downloads the font before its first label.
TEST(PageLoss, TheFontGoesWithTheNextPageWhenItsPageIsLost) {
  struct Case {
    const char* name;
    bool cannot_create;
    std::size_t room;
  } cases[] = {
      {"page 1 not created", true, 0},
      {"page 1 cut in its own text", false, 2},
      {"page 1 cut inside the font", false, 200},
  };
  for (const Case& c : cases) {
    testing::FakeTextPlatform p;
    SetSettings(p.fake, {{u"FINISHER UNIT", u"1"}, {u"GROUPSORT", u"1"}, {u"COPIES", u"2"}});
    p.fake.profile.Set(u"StringSummary", u"AB", u"");
    p.fake.profile.Set(u"AB", u"FaceName", u"Arial");
    p.fake.profile.Set(u"AB", u"Height", u"-50");
    p.text.glyphs[u'A'] = testing::InkedGlyph(40, 50, 221, -220);
    p.text.glyphs[u'B'] = testing::InkedGlyph(30, 50, 200, -200);
    auto& printer = p.fake.AddPrinter(kPrinter);
    (*printer.job_devmode)[sizeof(DEVMODEW) + extra::kWaterIdx] = 1;
    const std::u16string page1 = kDir + u"Orv40.1";
    if (c.cannot_create) {
      p.fake.files.fail_create.push_back(page1);
    } else {
      p.fake.files.room[page1] = c.room;
    }
    const std::string out = PrintJob(p.fake, kPrinter, NumberedPages(3));

    const std::string kFont = "\x1B)s68W";
    const std::size_t copy2 = out.find(kUelBytes) + kUelBytes.size();
    ASSERT_NE(copy2, std::string::npos) << c.name;
    for (const std::string& copy : {out.substr(0, copy2), out.substr(copy2)}) {
      EXPECT_EQ(copy.find("<1>"), std::string::npos) << c.name;
      ASSERT_NE(copy.find(kFont), std::string::npos) << c.name << ": no font in a copy";
      EXPECT_LT(copy.find(kFont), copy.find(";LB")) << c.name;
      EXPECT_LT(copy.find("<2>"), copy.find(kFont)) << c.name << ": the font comes with page 2";
    }
    EXPECT_TRUE(p.fake.files.files.empty()) << c.name;
  }
}

}  // namespace
}  // namespace pclspool
