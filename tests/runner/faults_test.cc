// Faults on the way out: a printer output that stops taking bytes, a spool
// directory that cannot store a page, a settings file that changes or goes
// away while a booklet is being stored.
//
// The first two run the `pclspool` command in a child process under a file
// size limit (RLIMIT_FSIZE), which makes writes fail past a given offset
// the way a full disk does. The child keeps SIGXFSZ at its default: the
// command must turn the signal into a write error itself.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "job/job_context.h"
#include "pclspool/pclspool.h"
#include "platform/posix/posix_platform.h"
#include "host/host.h"
#include "support/child_process.h"
#include "support/scratch_dir.h"
#include "support/test_files.h"

namespace pclspool {
namespace {

namespace fs = std::filesystem;

using testing::ProgramRun;
using testing::ReadFile;
using testing::WriteFile;
using testing::Count;

const std::string kUel = "\x1B%-12345X";

// Where the command's standard output goes.
enum class Output {
  kFile,        // a regular file, under the size limit like every file
  kPipe,        // a pipe the test reads, which no size limit applies to
  kClosedPipe,  // a pipe nobody reads
};

class CommandFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "tmp");
  }

  // Runs the command in dir_ with TMPDIR at dir_/tmp and every file it
  // writes limited to `limit` bytes.
  ProgramRun Run(const std::vector<std::string>& args, Output output, rlim_t limit = RLIM_INFINITY) {
    std::vector<std::string> argv = {PCLSPOOL_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    const fs::path out_file = dir_ / "stdout";
    ProgramRun r = testing::RunProgram(
        {.argv = argv,
         .env = {"TMPDIR=" + (dir_ / "tmp").string()},
         .dir = dir_,
         .out = output == Output::kFile   ? testing::Output::File(out_file)
                : output == Output::kPipe ? testing::Output::Capture()
                                          : testing::Output::ClosedPipe(),
         .file_size_limit = limit});
    if (output == Output::kFile) r.out = ReadFile(out_file);
    return r;
  }

  // Writes the pages as files p1, p2, ... and returns their names, for
  // --page-files.
  std::vector<std::string> WritePages(const std::vector<std::string>& pages) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < pages.size(); ++i) {
      names.push_back("p" + std::to_string(i + 1));
      WriteFile(dir_ / names.back(), pages[i]);
    }
    return names;
  }

  testing::ScratchDir dir_{"faults"};
};

// Names left in a directory.
std::vector<std::string> Entries(const fs::path& d) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(d)) names.push_back(e.path().filename().string());
  return names;
}

// A page of n bytes that names itself.
std::string Page(int number, std::size_t n) {
  std::string bytes = "<page " + std::to_string(number) + ">";
  bytes.resize(n, static_cast<char>('a' + number));
  return bytes;
}

const std::vector<std::string> kCollated = {"--set", "FINISHER UNIT=1", "--set", "GROUPSORT=1",
                                            "--set", "COPIES=3"};

// The output stops taking bytes in the middle of the job: the command says
// so and fails, and no page file outlives it, in the spool directory given
// or in its own.
TEST_F(CommandFaults, PrinterOutputFailsMidJob) {
  const std::vector<std::string> pages =
      WritePages({Page(1, 3000), Page(2, 3000), Page(3, 3000), Page(4, 3000)});
  const struct {
    const char* name;
    Output output;
    rlim_t limit;
    bool collated;
    bool spool_dir;
  } cases[] = {
      {"plain job, output file at its size limit", Output::kFile, 5000, false, false},
      {"plain job, nobody reads the output", Output::kClosedPipe, RLIM_INFINITY, false, false},
      {"collated job, output file at its size limit", Output::kFile, 5000, true, false},
      {"collated job, output file at its size limit, spool directory given", Output::kFile, 5000,
       true, true},
      {"collated job, nobody reads the output, spool directory given", Output::kClosedPipe,
       RLIM_INFINITY, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::create_directories(dir_ / "spool");
    std::vector<std::string> args = {"print", "--page-files"};
    if (c.collated) args.insert(args.end(), kCollated.begin(), kCollated.end());
    if (c.spool_dir) args.insert(args.end(), {"--spool-dir", "spool"});
    args.insert(args.end(), pages.begin(), pages.end());
    const ProgramRun r = Run(args, c.output, c.limit);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("pclspool: cannot write the printer output to standard output"),
              std::string::npos)
        << r.err;
    if (c.output == Output::kFile) {
      EXPECT_EQ(r.out.size(), c.limit);
    }
    EXPECT_TRUE(Entries(dir_ / "spool").empty());
    EXPECT_TRUE(Entries(dir_ / "tmp").empty());
  }
}

// Pages 2 and 4 do not fit in the spool directory; either their page files
// cannot be created (a directory stands where each should go) or they are
// cut short by the size limit. Both ways the two pages are left out of
// every copy, the others print whole, the command names the pages and
// fails, and no page file is left behind.
TEST_F(CommandFaults, SpoolDirectoryCannotStorePages) {
  const std::size_t kLimit = 8192;
  const std::vector<std::string> page_bytes = {Page(1, 300), Page(2, 20000), Page(3, 500),
                                               Page(4, 30000), Page(5, 700)};
  const std::vector<std::string> pages = WritePages(page_bytes);
  const std::string spool = "spool";  // as given, relative to the working directory
  const std::string copy =
      page_bytes[0] + "\f" + page_bytes[2] + "\f" + page_bytes[4] + kUel;  // one-up, collated

  const struct {
    const char* name;
    std::vector<std::string> settings;
    std::size_t copies;
  } jobs[] = {
      {"collated copies", kCollated, 3},
      {"booklet", {"--set", "PAPER CODE=1033"}, 1},
  };
  for (const auto& job : jobs) {
    SCOPED_TRACE(job.name);
    std::vector<std::string> args = {"print", "--page-files", "--spool-dir", "spool"};
    args.insert(args.end(), job.settings.begin(), job.settings.end());
    args.insert(args.end(), pages.begin(), pages.end());

    fs::create_directories(dir_ / "spool" / "Orv1.2");
    fs::create_directories(dir_ / "spool" / "Orv1.4");
    const ProgramRun not_created = Run(args, Output::kPipe);
    fs::remove_all(dir_ / "spool");
    fs::create_directories(dir_ / "spool");
    const ProgramRun cut_short = Run(args, Output::kPipe, kLimit);

    for (const ProgramRun* r : {&not_created, &cut_short}) {
      const bool cut = r == &cut_short;
      SCOPED_TRACE(cut ? "cut short by the size limit" : "page files not created");
      EXPECT_EQ(r->status, 1) << r->err;
      EXPECT_NE(r->err.find("pclspool: 2 pages lost: the spool directory could not store them\n"),
                std::string::npos)
          << r->err;
      for (int page : {2, 4}) {
        const std::string path = spool + "/Orv1." + std::to_string(page);
        const std::string line =
            cut ? "pclspool: page " + std::to_string(page) + " left out: cannot store it in " +
                      path + ": File too large\n"
                : "OrvUmpd:     Fail to Open :" + path + " \n";
        EXPECT_NE(r->err.find(line), std::string::npos) << r->err;
      }
      for (int page : {1, 3, 5}) EXPECT_EQ(Count(r->out, page_bytes[page - 1]), job.copies);
      EXPECT_EQ(Count(r->out, "<page 2>") + Count(r->out, "<page 4>"), 0u);
    }
    EXPECT_TRUE(cut_short.out == not_created.out);
    if (job.copies == 3) {
      EXPECT_TRUE(cut_short.out == copy + copy + copy);
    }
    EXPECT_TRUE(Entries(dir_ / "spool").empty());
    fs::remove_all(dir_ / "spool");
  }
}

// The settings file of a booklet job is edited, emptied or removed after
// its second page has been stored: every page still prints. [SETTING] is
// read once, at the first page; the watermark is set up again at every
// booklet page, from the file as it is then.
class BookletSettingsChange : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "system");
    posix::PosixPlatform& px = posix::Posix();
    px.files.SetSystemDirectory((dir_ / "system").string());
    px.profile.SetFilePath((dir_ / "OrvWater.INI").string());
    px.text.MapFace(u"Arial", std::string(PCLSPOOL_TEST_DATA) + "/LiberationSans-Regular.ttf");
    out_fd_ = ::open((dir_ / "printer").c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    ASSERT_GE(out_fd_, 0);
    posix::PrinterSetup setup = host::DriverPrinter();
    setup.fd = out_fd_;
    setup.job_devmode[sizeof(DEVMODEW) + extra::kWaterIdx] = 1;
    px.spooler.AddPrinter(kPrinter, setup);
  }
  void TearDown() override {
    posix::PosixPlatform& px = posix::Posix();
    px.spooler.RemovePrinter(kPrinter);
    px.profile.SetFilePath("");
    px.files.SetSystemDirectory("/tmp");
    if (out_fd_ >= 0) ::close(out_fd_);
  }

  // Prints a booklet of four pages; `change` runs after page 2.
  template <typename Change>
  std::string PrintBooklet(Change change) {
    void* job = DrvSplStartDoc(kPrinter, 3);
    for (int page = 1; page <= 4; ++page) {
      if (page == 3) change();
      DrvSplStartPage(job);
      std::string bytes = Page(page, 400);
      DrvSplWritePrinter(job, bytes.data(), static_cast<DWORD>(bytes.size()), nullptr);
      DrvSplEndPage(job);
    }
    DrvSplEndDoc(job);
    DrvSplClose(job);
    return ReadFile(dir_ / "printer");
  }

  void WriteIni(const std::string& text) { WriteFile(dir_ / "OrvWater.INI", text); }

  static inline const HANDLE kPrinter = reinterpret_cast<HANDLE>(uintptr_t{0x77});
  testing::ScratchDir dir_{"ini-change"};
  int out_fd_ = -1;
};

const std::string kBookletIni =
    "[SETTING]\nPAPER CODE=1033\nXDIMENSION=4960\nYDIMENSION=7014\n"
    "[StringSummary]\nDRAFT=1\n"
    "[DRAFT]\nFaceName=Arial\nHeight=-20\nWidth=0\nEscapement=450\nDark=1\n";

TEST_F(BookletSettingsChange, EveryPageStillPrints) {
  const std::string kTexts = kBookletIni.substr(kBookletIni.find("[StringSummary]"));
  const struct {
    const char* name;
    std::optional<std::string> ini;  // after page 2; none removes the file
    std::size_t fonts;               // soft fonts sent: one per page with a watermark
    bool as_unchanged;               // the output is the unchanged file's
  } cases[] = {
      {"unchanged", kBookletIni, 4, true},
      {"[SETTING] no longer a booklet", "[SETTING]\nPAPER CODE=9\n" + kTexts, 4, true},
      {"watermark font changed",
       "[SETTING]\n[StringSummary]\nDRAFT=1\n[DRAFT]\nFaceName=Arial\nHeight=-40\n"
       "Escapement=-900\n",
       4, false},
      {"another text in the watermark's place",
       "[StringSummary]\nCOPY=1\n[COPY]\nFaceName=Arial\nHeight=-10\n", 4, false},
      {"no watermark texts left", "[SETTING]\nPAPER CODE=1033\n", 2, false},
      {"file emptied", "", 2, false},
      {"file removed", std::nullopt, 2, false},
  };
  std::string unchanged;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteIni(kBookletIni);
    ASSERT_EQ(::ftruncate(out_fd_, 0), 0);
    ASSERT_EQ(::lseek(out_fd_, 0, SEEK_SET), 0);
    const std::string out = PrintBooklet([&] {
      if (c.ini) {
        WriteIni(*c.ini);
      } else {
        fs::remove(dir_ / "OrvWater.INI");
      }
    });
    for (int page = 1; page <= 4; ++page) EXPECT_EQ(Count(out, Page(page, 400)), 1u) << page;
    EXPECT_EQ(Count(out, "\x1B)s68W"), c.fonts);
    EXPECT_EQ(out.substr(out.size() - kUel.size()), kUel);
    EXPECT_TRUE(Entries(dir_ / "system").empty());
    if (unchanged.empty()) unchanged = out;
    EXPECT_EQ(out == unchanged, c.as_unchanged);
  }
}

}  // namespace
}  // namespace pclspool
