// What a front end asks of the job runner: printer-made copies, side
// reports, and a cancel that sends nothing more and leaves no page file.
#include "runner/job_runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/posix/posix_platform.h"
#include "support/scratch_dir.h"
#include "support/test_files.h"

namespace pclspool::runner {
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
    fs::create_directories(dir_ / "spool");
  }

  // A job of `pages` pages, one input file each, on the runner's page-file
  // path, with the printer stream in a file.
  JobOptions Job(int pages) {
    JobOptions o;
    o.page_files = true;
    o.ini = "/dev/null";
    o.spool_dir = (dir_ / "spool").string();
    for (int i = 1; i <= pages; ++i) {
      const fs::path page = dir_ / std::to_string(i);
      testing::WriteFile(page, "page " + std::to_string(i));
      o.inputs.push_back(page.string());
    }
    return o;
  }

  // Runs the job with its printer stream in out.prn; returns the status.
  int Run(const JobOptions& o, const JobEvents& events = {},
          const std::atomic<bool>* cancel = nullptr) {
    const int fd = ::open(Output().c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int status = RunPrintJob(o, {fd, "out.prn", {}}, events, cancel);
    ::close(fd);
    return status;
  }
  std::string Output() const { return (dir_ / "out.prn").string(); }

  testing::ScratchDir dir_{"runner"};
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
    std::string sides;  // "side x copies" as reported
  } cases[] = {
      {"one copy adds nothing", {}, 1, 0, kExitOk, "1F2F3U", "1x1 2x1 3x1 "},
      {"uncollated copies end every page", {}, 2, 0, kExitOk, "1CF2CF3CU", "1x2 2x2 3x2 "},
      {"collated copies", kCollated, 1, 0, kExitOk, "1F2F3U1F2F3U1F2F3U", "1x3 2x3 3x3 "},
      {"two-up", {{"TWOupFOUR", "1"}}, 1, 0, kExitOk, "12F3U", "1x1 2x1 "},
      {"cancel before the first page", {}, 1, -1, kExitCancelled, "", ""},
      {"cancel in a plain job sends no further page and no UEL", {}, 1, 1, kExitCancelled, "1",
       "1x1 "},
      {"cancel in collated copies sends no copy", kCollated, 1, 2, kExitCancelled, "", ""},
      {"cancel after the last page of collated copies", kCollated, 1, 3, kExitCancelled, "", ""},
      {"cancel in a booklet sends no sheet", {{"PAPER CODE", "1033"}}, 1, 3, kExitCancelled, "",
       ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::atomic<bool> cancel{c.cancel_after < 0};
    std::string sides;
    JobOptions o = Job(3);
    o.settings = c.settings;
    o.uncollated_copies = c.printer_copies;
    JobEvents events;
    std::vector<uint32_t> ended;
    events.on_page = [&](uint32_t page) {
      ended.push_back(page);
      if (static_cast<int>(page) == c.cancel_after) cancel = true;
    };
    events.on_side = [&](uint32_t side, uint32_t copies) {
      sides += std::to_string(side) + "x" + std::to_string(copies) + " ";
    };
    EXPECT_EQ(Run(o, events, &cancel), c.status);
    EXPECT_TRUE(testing::ReadFile(Output()) == Expand(c.expected)) << testing::ReadFile(Output());
    EXPECT_TRUE(fs::is_empty(dir_ / "spool")) << "page files left";
    // Every page ended is reported once, in order: all of them, or those
    // before the cancel. Every printed side is reported once, in order; a
    // cancelled job reports none after the cancel.
    const std::size_t most = c.cancel_after == 0 ? 3 : c.cancel_after < 0 ? 0 : c.cancel_after;
    for (std::size_t i = 0; i < ended.size(); ++i) EXPECT_EQ(ended[i], i + 1);
    EXPECT_EQ(ended.size(), most);
    EXPECT_EQ(sides, c.sides);
  }
}

TEST_F(JobRunner, SettingsDoNotCarryOverToTheNextJob) {
  JobOptions collated = Job(2);
  collated.settings = kCollated;
  ASSERT_EQ(Run(collated), kExitOk);
  JobOptions plain = Job(2);
  ASSERT_EQ(Run(plain), kExitOk);
  EXPECT_TRUE(testing::ReadFile(Output()) == Expand("1F2U"));
}

}  // namespace
}  // namespace pclspool::runner
