// What a spooler in front of the job runner asks of it (the CUPS filter):
// printer-made copies, page-end reports, and a cancel that sends nothing
// more and leaves no page file.
#include "job_runner.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/posix_platform.h"
#include "test_files.h"

namespace pclspool::cli {
namespace {

namespace fs = std::filesystem;

const std::string kUel = "\x1B%-12345X";

// Page tokens: a digit is that page's bytes, F a form feed, U the UEL, C the
// PCL number of copies for 2 copies.
std::string Expand(const std::string& tokens) {
  std::string out;
  for (char t : tokens) {
    if (t == 'F') {
      out += '\f';
    } else if (t == 'U') {
      out += kUel;
    } else if (t == 'C') {
      out += "\x1B&l2X";
    } else {
      out += std::string("page ") + t;
    }
  }
  return out;
}

class JobRunner : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() /
           ("pclspool-runner-" + std::to_string(::getpid()) + "-" + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "spool");
  }
  void TearDown() override { fs::remove_all(dir_); }

  // A job of `pages` pages, one input file each, on the runner's page-file
  // path, with the printer stream in a file.
  PrintOptions Job(int pages) {
    PrintOptions o;
    o.page_files = true;
    o.ini = "/dev/null";
    o.spool_dir = (dir_ / "spool").string();
    o.output = (dir_ / "out.prn").string();
    for (int i = 1; i <= pages; ++i) {
      const fs::path page = dir_ / std::to_string(i);
      testing::WriteFile(page, "page " + std::to_string(i));
      o.inputs.push_back(page.string());
    }
    return o;
  }

  fs::path dir_;
};

using Settings = std::vector<std::pair<std::string, std::string>>;
const Settings kCollated = {{"FINISHER UNIT", "1"}, {"GROUPSORT", "1"}, {"COPIES", "3"}};

TEST_F(JobRunner, SpoolerRequests) {
  struct Case {
    const char* name;
    Settings settings;
    uint16_t printer_copies;
    int cancel_after;  // the page after whose end the job is cancelled; 0 never, -1 before it
                       // starts
    int status;
    std::string expected;
  } cases[] = {
      {"one copy adds nothing", {}, 1, 0, kExitOk, "1F2F3U"},
      {"uncollated copies end every page", {}, 2, 0, kExitOk, "1CF2CF3CU"},
      {"collated copies", kCollated, 1, 0, kExitOk, "1F2F3U1F2F3U1F2F3U"},
      {"cancel before the first page", {}, 1, -1, kExitCancelled, ""},
      {"cancel in a plain job sends no further page and no UEL", {}, 1, 1, kExitCancelled, "1"},
      {"cancel in collated copies sends no copy", kCollated, 1, 2, kExitCancelled, ""},
      {"cancel in a booklet sends no sheet", {{"PAPER CODE", "1033"}}, 1, 3, kExitCancelled, ""},
      {"cancel after the last page of collated copies", kCollated, 1, 3, kExitCancelled, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<bool> cancel{c.cancel_after < 0};
    std::vector<uint32_t> ended;
    PrintOptions o = Job(3);
    o.settings = c.settings;
    o.printer_copies = c.printer_copies;
    o.on_page_end = [&](uint32_t page) {
      ended.push_back(page);
      if (static_cast<int>(page) == c.cancel_after) cancel = true;
    };
    EXPECT_EQ(RunPrintJob(o, &cancel), c.status);
    EXPECT_TRUE(testing::ReadFile(o.output) == Expand(c.expected)) << testing::ReadFile(o.output);
    EXPECT_TRUE(fs::is_empty(dir_ / "spool")) << "page files left";
    // Every page ended is reported once, in order: all of them, or those
    // before the cancel and at most the one it came in.
    const std::size_t most = c.cancel_after == 0 ? 3 : c.cancel_after < 0 ? 1 : c.cancel_after + 1;
    for (std::size_t i = 0; i < ended.size(); ++i) EXPECT_EQ(ended[i], i + 1);
    EXPECT_LE(ended.size(), most);
    if (c.cancel_after == 0) {
      EXPECT_EQ(ended.size(), 3u);
    }
  }
}

TEST_F(JobRunner, SettingsDoNotCarryOverToTheNextJob) {
  PrintOptions collated = Job(2);
  collated.settings = kCollated;
  ASSERT_EQ(RunPrintJob(collated), kExitOk);
  PrintOptions plain = Job(2);
  ASSERT_EQ(RunPrintJob(plain), kExitOk);
  EXPECT_TRUE(testing::ReadFile(plain.output) == Expand("1F2U"));
}

}  // namespace
}  // namespace pclspool::cli
