// PDF and PostScript jobs that go wrong, and how they reach the printer:
// refused input, Ghostscript missing or failing in mid-job, a job stopped
// by a signal or by one of its limits, documents that reach for files, and
// pages that must stream out while later ones render.
//
// Ghostscript's failures are played by a stand-in script given with --gs:
// it writes blank PBM pages of the size asked for, and then fails, waits
// or ends as the case needs.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/render/real_jobs.h"
#include "support/scratch_dir.h"
#include "support/test_files.h"

namespace pclspool {
namespace {

namespace fs = std::filesystem;
using testing::ChildProcess;
using testing::ProgramRun;
using testing::ReadFile;
using testing::WriteFile;

const std::string kUel = "\x1B%-12345X";

// The stand-in: PAGES blank pages of the -g size, then THEN: "fail" (a
// message and status 1), "wait" (pid into $DIR/gs.pid, then sleeps), or
// "stream" (page 2 only once $OUT has bytes, "streamed" or "late" into
// $DIR/gs.log).
std::string FakeGhostscript(int pages, const std::string& then) {
  return "#!/bin/sh\n"
         "for a in \"$@\"; do case $a in -g*) size=${a#-g};; esac; done\n"
         "w=${size%x*}; h=${size#*x}\n"
         "page() { printf 'P4\\n%s %s\\n' $w $h; head -c $(( (w + 7) / 8 * h )) /dev/zero; }\n"
         "i=0; while [ $i -lt " + std::to_string(pages) + " ]; do page; i=$((i + 1)); done\n" +
         (then == "fail" ? "echo 'Error: /stackoverflow in --run--' >&2; exit 1\n"
          : then == "wait" ? "echo $$ > \"$DIR/gs.pid\"; exec sleep 30\n"
          : then == "stream"
              ? "n=0; while [ ! -s \"$OUT\" ] && [ $n -lt 200 ]; do sleep 0.05; n=$((n + 1)); done\n"
                "if [ -s \"$OUT\" ]; then echo streamed; else echo late; fi > \"$DIR/gs.log\"\n"
                "page\n"
              : "") +
         "exit 0\n";
}

class RenderingFaults : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "tmp");
    fs::create_directories(dir_ / "spool");
    WriteFile(dir_ / "doc.ps", "%!PS\nshowpage showpage showpage\n");
  }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  void WriteFake(int pages, const std::string& then) {
    WriteFile(dir_ / "fake-gs", FakeGhostscript(pages, then));
    fs::permissions(dir_ / "fake-gs", fs::perms::owner_all);
  }

  // The command, its standard input from `in` (a file or a FIFO) or none.
  testing::Program Command(const std::vector<std::string>& args, const std::string& in = "") {
    std::vector<std::string> argv = {PCLSPOOL_CLI_PATH, "print", "--spool-dir", Path("spool"),
                                     "-o", Path("out.prn"), "--set", "YRESOLUTION=100"};
    argv.insert(argv.end(), args.begin(), args.end());
    return {.argv = argv,
            .env = {"TMPDIR=" + Path("tmp"), "DIR=" + dir_.string(), "OUT=" + Path("out.prn")},
            .dir = dir_,
            .in = in.empty() ? testing::Input::Null() : testing::Input::File(in)};
  }
  ProgramRun Run(const std::vector<std::string>& args, const std::string& in = "") {
    return testing::RunProgram(Command(args, in));
  }

  // Nothing left behind: no page file, no Ghostscript scratch directory.
  void ExpectClean(const std::string& what) {
    EXPECT_TRUE(fs::is_empty(dir_ / "spool")) << what << ": page files left";
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp")) << what << ": temporary files left";
  }

  testing::ScratchDir dir_{"rendering-faults"};
};

TEST_F(RenderingFaults, RefusedBeforeAnythingIsSent) {
  WriteFile(dir_ / "text.txt", "just some words\n");
  WriteFile(dir_ / "damaged.pdf", "%PDF-1.4\n1 0 obj << /Type /Catalog >>\n");
  WriteFile(dir_ / "job.pcl", "\x1B" "Epage\f");
  const struct {
    const char* name;
    std::vector<std::string> args;
    const char* message;
  } cases[] = {
      {"neither PCL, PDF nor PostScript", {"text.txt"}, "text.txt: neither PCL, PDF nor PostScript"},
      {"a damaged PDF", {"damaged.pdf"}, "damaged.pdf: the PDF is damaged or cut short ("},
      {"Ghostscript missing", {"--gs", "/nonexistent/gs", "doc.ps"},
       "doc.ps: Ghostscript is not installed, or not where it is looked for (cannot run "
       "/nonexistent/gs: No such file"},
      {"PCL after PostScript", {"doc.ps", "job.pcl"}, "job.pcl: PCL cannot be printed in one job"},
      {"PostScript after PCL", {"job.pcl", "doc.ps"}, "doc.ps: PostScript cannot follow the PCL job"},
      {"pages chosen of two inputs", {"--page-ranges", "1", "doc.ps", "doc.ps"},
       "page-ranges: chooses the pages of a single input"},
      {"a resolution without raster", {"--set", "YRESOLUTION=75", "doc.ps"}, "YRESOLUTION 75"},
      {"pages the document does not have", {"--page-ranges", "7-9", "doc.ps"},
       "doc.ps: it has none of the pages 7-9"},
  };
  for (const auto& c : cases) {
    for (const char* booklet : {"PAPER CODE=9", "PAPER CODE=1033"}) {
      SCOPED_TRACE(std::string(c.name) + ", " + booklet);
      std::vector<std::string> args = {"--set", booklet};
      args.insert(args.end(), c.args.begin(), c.args.end());
      const ProgramRun r = Run(args);
      EXPECT_EQ(r.status, 2);
      EXPECT_EQ(r.err.rfind("pclspool: ", 0), 0u) << r.err;
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
      EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
      EXPECT_EQ(ReadFile(dir_ / "out.prn"), "");
      ExpectClean(c.name);
    }
  }
}

TEST_F(RenderingFaults, GhostscriptFailingInMidJob) {
  WriteFake(2, "fail");
  const struct {
    const char* name;
    std::vector<std::string> settings;
    bool prints_pages;  // the pages before the failure reach the printer
  } cases[] = {
      {"plain job", {"--set", "PAPER CODE=9"}, true},
      {"booklet", {"--set", "PAPER CODE=1033"}, false},
      {"collated copies",
       {"--set", "FINISHER UNIT=1", "--set", "GROUPSORT=1", "--set", "COPIES=2"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = c.settings;
    args.insert(args.end(), {"--gs", Path("fake-gs"), "doc.ps"});
    const ProgramRun r = Run(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.err, "pclspool: doc.ps: the PostScript program fails: /stackoverflow in --run--\n");
    const std::string out = ReadFile(dir_ / "out.prn");
    if (c.prints_pages) {
      // Two pages on their own sheets, and the job closed.
      EXPECT_EQ(out.rfind(kUel, 0), 0u);
      EXPECT_EQ(testing::Count(out, "\x1B*r1A"), 2u);
      EXPECT_EQ(testing::Count(out, "\f"), 1u);
      EXPECT_EQ(out.substr(out.size() - kUel.size()), kUel);
    } else {
      EXPECT_EQ(out, "") << "a stored job that failed printed something";
    }
    ExpectClean(c.name);
  }
}

TEST_F(RenderingFaults, PagesStreamOutWhileLaterOnesRender) {
  // The stand-in renders its second page only once the first has reached
  // the printer's output.
  WriteFake(1, "stream");
  const ProgramRun r = Run({"--set", "PAPER CODE=9", "--gs", Path("fake-gs"), "doc.ps"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(dir_ / "gs.log"), "streamed\n");
  EXPECT_EQ(testing::Count(ReadFile(dir_ / "out.prn"), "\x1B*r1A"), 2u);
}

TEST_F(RenderingFaults, AStopSignalEndsTheJobCleanly) {
  const struct {
    const char* name;
    const char* paper;
    bool prints_page;
  } cases[] = {
      {"plain job", "PAPER CODE=9", true},
      {"booklet", "PAPER CODE=1033", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFake(1, "wait");
    fs::remove(dir_ / "gs.pid");
    const auto started = std::chrono::steady_clock::now();
    ChildProcess command(Command({"--set", c.paper, "--gs", Path("fake-gs"), "doc.ps"}));
    // Once the stand-in waits, its page has been read.
    for (int i = 0; i < 200 && ReadFile(dir_ / "gs.pid").empty(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(25));
    const pid_t gs = std::atoi(ReadFile(dir_ / "gs.pid").c_str());
    ASSERT_GT(gs, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    command.Signal(SIGTERM);
    EXPECT_EQ(command.Wait(std::chrono::seconds(10)).status, 128 + SIGTERM);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
    EXPECT_NE(::kill(gs, 0), 0) << "Ghostscript still runs";
    const std::string out = ReadFile(dir_ / "out.prn");
    EXPECT_EQ(c.prints_page ? testing::Count(out, "\x1B*r1A") : out.size(), c.prints_page ? 1u : 0u);
    ExpectClean(c.name);
  }
}

TEST_F(RenderingFaults, AStoppedPclBookletPrintsNothing) {
  // A PCL booklet whose input stops coming after two pages: stopped, it
  // sends none of its pages, and its page files go.
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  std::thread writer([&] {
    std::ofstream fifo(dir_ / "fifo", std::ios::binary);
    fifo << "\x1B" "Eone\ftwo\f" << std::flush;
    std::this_thread::sleep_for(std::chrono::seconds(2));
  });
  ChildProcess command(Command({"--set", "PAPER CODE=1033"}, Path("fifo")));
  for (int i = 0; i < 200 && std::distance(fs::directory_iterator(dir_ / "spool"),
                                           fs::directory_iterator{}) < 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  command.Signal(SIGTERM);
  EXPECT_EQ(command.Wait(std::chrono::seconds(10)).status, 128 + SIGTERM);
  writer.join();
  EXPECT_EQ(ReadFile(dir_ / "out.prn"), "");
  ExpectClean("PCL booklet");
}

TEST_F(RenderingFaults, StandardInputAsAFileOrAPipe) {
  // The same document through every way in gives the same printer output.
  WriteFile(dir_ / "doc.ps", "%!PS\n/Helvetica findfont 40 scalefont setfont\n"
                             "100 500 moveto (one) show showpage 100 400 moveto (two) show showpage\n");
  ASSERT_EQ(Run({"doc.ps"}).status, 0);
  const std::string want = ReadFile(dir_ / "out.prn");
  EXPECT_EQ(testing::Count(want, "\x1B*r1A"), 2u);

  const ProgramRun from_file = Run({"-"}, Path("doc.ps"));
  EXPECT_EQ(from_file.status, 0) << from_file.err;
  EXPECT_TRUE(ReadFile(dir_ / "out.prn") == want) << "standard input from a file";

  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  std::thread writer([&] { WriteFile(dir_ / "fifo", ReadFile(dir_ / "doc.ps")); });
  const ProgramRun from_pipe = Run({}, Path("fifo"));
  writer.join();
  EXPECT_EQ(from_pipe.status, 0) << from_pipe.err;
  EXPECT_TRUE(ReadFile(dir_ / "out.prn") == want) << "standard input from a pipe";
  ExpectClean("standard input");
}

TEST_F(RenderingFaults, ALimitCrossedEndsTheJob) {
  WriteFile(dir_ / "loop.ps", "%!PS\n{} loop\n");
  WriteFile(dir_ / "slow.ps",
            "%!PS\n/wait { realtime add { dup realtime le { exit } if } loop pop } def\n"
            "1 1 5 { pop 600 wait showpage } for\n");
  WriteFile(dir_ / "many.ps", "%!PS\n1 1 8 { pop showpage } for\n");
  std::string pcl = "\x1B" "E";
  for (int i = 0; i < 8; ++i) pcl += "<<p>>\f";
  WriteFile(dir_ / "many.pcl", pcl);
  const render::JobFile pdf = render::GhostscriptJob("pdfwrite", 2);
  ASSERT_TRUE(pdf.error.empty()) << pdf.error;
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  const struct {
    const char* name;
    std::vector<std::string> args;
    std::string in;       // standard input; "fifo": the PDF through a pipe
    const char* message;  // null: the job prints
    std::size_t pages;    // the pages a plain job sends
  } cases[] = {
      {"an endless loop", {"--page-timeout", "1", "loop.ps"}, "",
       "loop.ps: stopped: no page data from Ghostscript in 1 s", 0},
      {"a slow document that keeps making pages", {"--page-timeout", "2", "slow.ps"}, "", nullptr,
       5},
      {"more pages than the most", {"--max-pages", "3", "many.ps"}, "",
       "many.ps: stopped: the job has more than 3 pages, the most one job prints", 3},
      {"as many pages as the most", {"--max-pages", "8", "many.ps"}, "", nullptr, 8},
      {"more PCL pages than the most", {"--max-pages", "3", "many.pcl"}, "",
       "many.pcl: stopped: the job has more than 3 pages", 3},
      {"a PDF file on standard input above the limit", {"--max-stdin-pdf", "1000", "-"},
       pdf.path.string(), "standard input: a PDF of more than 1000 bytes, which Ghostscript", 0},
      {"a PDF through a pipe above the limit", {"--max-stdin-pdf", "1000"}, "fifo",
       "standard input: a PDF of more than 1000 bytes, which Ghostscript", 0},
      {"a PDF through a pipe within the limit", {}, "fifo", nullptr, 2},
  };
  for (const auto& c : cases) {
    // A stored job prints nothing of a job that failed; only failures are
    // tried both ways.
    for (const char* paper : {"PAPER CODE=9", "PAPER CODE=1033"}) {
      if (!c.message && std::string(paper) != "PAPER CODE=9") continue;
      SCOPED_TRACE(std::string(c.name) + ", " + paper);
      std::vector<std::string> args = {"--set", paper};
      args.insert(args.end(), c.args.begin(), c.args.end());
      std::thread writer;
      if (c.in == "fifo") writer = std::thread([&] { WriteFile(dir_ / "fifo", ReadFile(pdf.path)); });
      const auto started = std::chrono::steady_clock::now();
      const ProgramRun r = Run(args, c.in == "fifo" ? Path("fifo") : c.in);
      if (writer.joinable()) writer.join();
      EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(20));
      EXPECT_EQ(r.status, c.message ? 2 : 0) << r.err;
      if (c.message) {
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
      }
      const std::string out = ReadFile(dir_ / "out.prn");
      const bool stored = std::string(paper) != "PAPER CODE=9";
      EXPECT_EQ(stored ? out.size() : testing::Count(out, "\x1B*r1A") + testing::Count(out, "<<p>>"),
                stored ? 0 : c.pages);
      ExpectClean(c.name);
    }
  }
}

TEST_F(RenderingFaults, ADocumentReachingForFilesTouchesNone) {
  // Ghostscript runs with -dSAFER and a temporary directory of its own: a
  // document may open, write, rename or delete no file, nor run a command.
  const std::string victim = Path("victim");
  const std::string made = Path("made");
  const struct {
    const char* name;
    std::string program;
    const char* message;
  } cases[] = {
      {"write a file", "(" + made + ") (w) file (x) writestring showpage", "invalidfileaccess"},
      {"delete a file", "(" + victim + ") deletefile showpage", "ioerror in --deletefile--"},
      {"rename a file", "(" + victim + ") (" + made + ") renamefile showpage",
       "ioerror in --renamefile--"},
      {"read /etc/passwd", "(/etc/passwd) (r) file 4096 string readstring pop print showpage",
       "invalidfileaccess"},
      {"run a command", "(%pipe%touch " + made + ") (w) file showpage", "invalidfileaccess"},
      {"send its pages elsewhere", "<< /OutputFile (" + made + ") >> setpagedevice showpage",
       "invalidfileaccess"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(victim, "kept\n");
    WriteFile(dir_ / "doc.ps", "%!PS\n" + c.program + "\n");
    const ProgramRun r = Run({"doc.ps"});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find("doc.ps: the PostScript program fails: /" + std::string(c.message)),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("root:"), std::string::npos) << r.err;
    EXPECT_EQ(ReadFile(victim), "kept\n");
    EXPECT_FALSE(fs::exists(made));
    EXPECT_EQ(ReadFile(dir_ / "out.prn"), "");
    ExpectClean(c.name);
  }
}

}  // namespace
}  // namespace pclspool
