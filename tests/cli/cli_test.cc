// The `pclspool` command, run as a separate process.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "job/device_modes.h"
#include "job/job_context.h"
#include "pcl/pcl_scanner.h"
#include "platform/posix/posix_platform.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"
#include "support/test_files.h"

namespace pclspool::cli {
namespace {

namespace fs = std::filesystem;
using pcl::PclEvent;
using pcl::PclEventKind;
using pcl::PclEventSink;
using pcl::PclScanner;

using testing::ReadFile;
using testing::WriteFile;
using Result = testing::ProgramRun;

const std::string kUel = "\x1B%-12345X";

// The sample job, cut the way the command cuts it.
struct SampleParts {
  std::string header;
  std::vector<std::string> pages;
  std::string trailer;
};

SampleParts SplitJob(const std::string& job) {
  struct Collector final : PclEventSink {
    SampleParts parts;
    std::string page;
    void OnPclEvent(const PclEvent& e) override {
      const std::string bytes(reinterpret_cast<const char*>(e.data), e.size);
      switch (e.kind) {
        case PclEventKind::kHeader: parts.header += bytes; break;
        case PclEventKind::kPageData: page += bytes; break;
        case PclEventKind::kPageEnd: parts.pages.push_back(page), page.clear(); break;
        case PclEventKind::kTrailer: parts.trailer += bytes; break;
      }
    }
  } collector;
  PclScanner scanner(collector);
  scanner.Feed(reinterpret_cast<const uint8_t*>(job.data()), job.size());
  scanner.Finish();
  return collector.parts;
}

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "tmp");
    sample_ = ReadFile(fs::path(PCLSPOOL_EXAMPLES) / "sample.pcl");
    ASSERT_FALSE(sample_.empty());
  }

  // Runs the command in dir_ (no OrvWater.INI there unless a test writes
  // one), with TMPDIR at dir_/tmp, the given bytes as standard input and
  // standard output to `out_path`, or captured.
  Result Run(const std::vector<std::string>& args, const std::string& input = "",
             const std::string& out_path = "") {
    std::vector<std::string> argv = {PCLSPOOL_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return testing::RunProgram(
        {.argv = argv,
         .env = {"TMPDIR=" + (dir_ / "tmp").string()},
         .dir = dir_,
         .in = testing::Input::Bytes(input),
         .out = out_path.empty() ? testing::Output::Capture() : testing::Output::File(out_path)});
  }

  std::string SamplePath() const { return (fs::path(PCLSPOOL_EXAMPLES) / "sample.pcl").string(); }

  // A plain job: the input as it came, less the form feed after its last
  // page (the module writes separators between pages, not after them), and
  // the UEL that closes the job.
  std::string PlainOutput() const {
    const std::string tail = "\f\x1B" "E" + kUel;
    EXPECT_EQ(sample_.substr(sample_.size() - tail.size()), tail);
    return sample_.substr(0, sample_.size() - tail.size()) + tail.substr(1) + kUel;
  }

  testing::ScratchDir dir_{"cli"};
  std::string sample_;
};

TEST_F(Cli, PrintsTheSampleJob) {
  const Result r = Run({"print", SamplePath()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(r.out == PlainOutput());
  EXPECT_EQ(SplitJob(sample_).pages.size(), 3u);

  // The header's PJL lines reach the hooks one to a buffer, after the first
  // page's settings override: the page size they give stands.
  const Result traced = Run({"print", "--trace", SamplePath()});
  const std::size_t page1 = traced.err.find("  Page=1\r\n");
  ASSERT_NE(page1, std::string::npos) << traced.err;
  EXPECT_NE(traced.err.find("    PaperSize=0x1 Orient=1, [4960,7014]\n", page1), std::string::npos)
      << traced.err;
}

TEST_F(Cli, ReadsStandardInput) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"print"}, std::vector<std::string>{"print", "-"}}) {
    const Result r = Run(args, sample_);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == PlainOutput());
  }
}

TEST_F(Cli, WritesTheOutputFile) {
  WriteFile(dir_ / "out.pcl", std::string(5000, 'x'));  // truncated, not overwritten in place
  const Result r = Run({"print", "-o", "out.pcl", SamplePath()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(ReadFile(dir_ / "out.pcl") == PlainOutput());
}

TEST_F(Cli, PageFilesAreOnePageEach) {
  WriteFile(dir_ / "p1", "one\f");
  WriteFile(dir_ / "p2", "two");
  const Result r = Run({"print", "--page-files", "p1", "p2"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "one\f\ftwo" + kUel);
}

TEST_F(Cli, LayoutsThroughTheCommand) {
  // Pages named by their number, one input file each.
  std::vector<std::string> args = {"print", "--spool-dir", "spool", "--page-files"};
  fs::create_directories(dir_ / "spool");
  for (int i = 1; i <= 8; ++i) {
    WriteFile(dir_ / std::to_string(i), std::to_string(i));
    args.push_back(std::to_string(i));
  }
  struct Case {
    const char* name;
    std::vector<std::string> settings;
    int pages;
    std::string expected;  // F a form feed, U the UEL
  } cases[] = {
      {"four-up", {"--set", "TWOupFOUR=2"}, 8, "1234F5678U"},
      {"booklet of 6", {"--set", "PAPER CODE=1033"}, 6, "1F2F36F45U"},
      {"booklet of 6, other style", {"--set", "PAPER CODE=1033", "--set", "BOOKLET_STYLE=1"}, 6,
       "1F2F36F54U"},
      {"booklet of 8", {"--set", "PAPER CODE=1033"}, 8, "18F27F36F45U"},
      {"booklet, 2 collated copies",
       {"--set", "PAPER CODE=1033", "--set", "FINISHER UNIT=1", "--set", "GROUPSORT=1", "--set",
        "COPIES=2"},
       3, "1F23U1F23U"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> run(args.begin(), args.begin() + 4 + c.pages);
    run.insert(run.begin() + 1, c.settings.begin(), c.settings.end());
    std::string expected;
    for (char ch : c.expected) expected += ch == 'F' ? std::string("\f") : ch == 'U' ? kUel : std::string(1, ch);
    const Result r = Run(run);
    EXPECT_EQ(r.status, 0) << c.name << ": " << r.err;
    EXPECT_TRUE(r.out == expected) << c.name;
    EXPECT_TRUE(fs::is_empty(dir_ / "spool")) << c.name << ": page files left";
  }
}

TEST_F(Cli, SettingsComeFromTheIniAndTheCommandLine) {
  const SampleParts parts = SplitJob(sample_);
  ASSERT_EQ(parts.pages.size(), 3u);
  const std::string& h = parts.header;
  const auto& p = parts.pages;
  const std::string two_up = h + p[0] + p[1] + "\f" + p[2] + parts.trailer + kUel;
  const std::string copy = h + p[0] + "\f" + p[1] + "\f" + p[2] + kUel;

  // The default settings file is found in the working directory, in any case.
  WriteFile(dir_ / "ORVWATER.INI", "[SETTING]\nTWOupFOUR=1\n");
  Result r = Run({"print", SamplePath()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out == two_up);

  // --set stands on top of the file.
  r = Run({"print", "--set", "TWOupFOUR=0", SamplePath()});
  EXPECT_TRUE(r.out == PlainOutput());

  // A named file; collated copies go through page files in the spool
  // directory, which are gone afterwards.
  WriteFile(dir_ / "collate.ini", "[SETTING]\nFINISHER UNIT=1\nGROUPSORT=1\nCOPIES=2\n");
  fs::create_directories(dir_ / "spool");
  r = Run({"print", "--ini", "collate.ini", "--spool-dir", "spool", "--printer-handle", "0x2a",
           "--job-id", "9", SamplePath()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out == copy + copy);
  EXPECT_TRUE(fs::is_empty(dir_ / "spool"));
}

TEST_F(Cli, PrivateSpoolDirectoryIsRemoved) {
  const Result r = Run({"print", "--set", "FINISHER UNIT=1", "--set", "GROUPSORT=1", "--set",
                        "COPIES=2", SamplePath()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::is_empty(dir_ / "tmp"));
}

TEST_F(Cli, DevmodeAndWatermarkOptions) {
  DevmodeBlock devmode = DriverJobDevmode();
  devmode[sizeof(DEVMODEW) + extra::kWaterIdx] = 5;
  WriteFile(dir_ / "dm.bin", std::string(devmode.begin(), devmode.end()));
  // No settings file: no watermark text to select, the job prints as it
  // came. The job's own settings show in the trace.
  Result r = Run({"print", "--devmode", "dm.bin", "--trace", SamplePath()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(r.out == PlainOutput());
  EXPECT_NE(r.err.find("    waterIdx=5\n"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("  Page=3\r\n"), std::string::npos) << r.err;

  // The job's choice of a text stands over its device mode's; a text the
  // settings file lacks is refused, as every front end refuses it.
  const std::string ini = std::string(PCLSPOOL_EXAMPLES) + "/OrvWater.INI";
  r = Run({"print", "--devmode", "dm.bin", "--ini", ini, "--watermark", "2", "--trace",
           SamplePath()});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("    waterIdx=2\n"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("    waterIdx=5\n"), std::string::npos) << r.err;
  r = Run({"print", "--devmode", "dm.bin", "--ini", ini, "--watermark", "3", SamplePath()});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "pclspool: watermark=3: the settings file " + ini + " has no such text\n");
}

TEST_F(Cli, RefusesBadUsageAndUnreadableInput) {
  WriteFile(dir_ / "short.dm", std::string(100, '\0'));
  WriteFile(dir_ / "long.dm", std::string(300, '\0'));
  WriteFile(dir_ / "afile", "x");
  const std::string sample = SamplePath();
  const struct {
    const char* name;
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {"no command", {}, "no command given"},
      {"unknown command", {"frobnicate"}, "unknown command 'frobnicate'"},
      {"unknown option", {"print", "--frobnicate", sample}, "unknown option '--frobnicate'"},
      {"option without its value", {"print", "-o"}, "missing value for -o"},
      {"watermark out of range", {"print", "--watermark", "70000", sample}, "--watermark 70000: "},
      {"a job option's bad value", {"print", "--number-up", "3", sample}, "--number-up 3: the"},
      {"setting without =", {"print", "--set", "COPIES", sample}, "KEY=VALUE"},
      {"printer handle not hexadecimal", {"print", "--printer-handle", "xyz", sample}, "hexadecimal"},
      {"missing settings file", {"print", "--ini", "nope.INI", sample}, "nope.INI: No such file"},
      {"missing input", {"print", sample, "nope.pcl"}, "nope.pcl: No such file"},
      {"input is a directory", {"print", "."}, ".: Is a directory"},
      {"device mode too short", {"print", "--devmode", "short.dm", sample}, "short.dm: only 100 bytes"},
      {"device mode too long", {"print", "--devmode", "long.dm", sample}, "long.dm: more than 278"},
      {"spool directory is a file", {"print", "--spool-dir", "afile", sample}, "afile: Not a directory"},
      {"spool directory missing", {"print", "--spool-dir", "nodir", sample}, "nodir: No such file"},
      {"output not creatable", {"print", "-o", "nodir/out.pcl", sample}, "nodir/out.pcl: No such"},
      {"output is also the input", {"print", "-o", "afile", "afile"}, "afile: is also an input"},
      {"font file missing", {"print", "--font", "Arial=nofont.ttf", sample}, "nofont.ttf: No such"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const Result r = Run(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("pclspool: ", 0), 0u) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadFile(dir_ / "afile"), "x");
}

TEST_F(Cli, UnwritableOutputFails) {
  const Result r = Run({"print", SamplePath()}, "", "/dev/full");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot write the printer output to standard output"), std::string::npos)
      << r.err;

  const Result to_file = Run({"print", "-o", "/dev/full", SamplePath()});
  EXPECT_EQ(to_file.status, 1);
  EXPECT_NE(to_file.err.find("/dev/full"), std::string::npos) << to_file.err;
}

TEST_F(Cli, HelpAndVersion) {
  for (const char* arg : {"--help", "-h"}) {
    const Result r = Run({arg});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("Usage: pclspool print [options] [INPUT...]\n", 0), 0u);
  }
  EXPECT_EQ(Run({"print", "--help"}).status, 0);
  const Result v = Run({"--version"});
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out, "pclspool 0.1.0\n");
}

}  // namespace
}  // namespace pclspool::cli
