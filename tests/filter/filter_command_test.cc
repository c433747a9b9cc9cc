// The filter program run as CUPS runs it: its arguments, environment and
// standard input, the printer stream on standard output, CUPS's message
// lines on standard error, its exit status.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.h"
#include "support/scratch_dir.h"
#include "support/test_files.h"

namespace pclspool::filter {
namespace {

namespace fs = std::filesystem;

using testing::Count;
using Result = testing::ProgramRun;

class FilterCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_ / "root" / "pclspool");
    fs::create_directories(dir_ / "tmp");
    fs::copy_file(fs::path(PCLSPOOL_EXAMPLES) / "OrvWater.INI",
                  dir_ / "root" / "pclspool" / "OrvWater.INI");
  }

  // The filter as CUPS starts it for queue "copier", job 12: argv[0] the
  // queue, the environment CUPS gives and no other.
  testing::Program Filter(const std::string& copies, const std::string& options,
                          const std::string& file, std::vector<std::string> env) {
    std::vector<std::string> args = {"copier", "12", "alice", "report", copies, options};
    if (!file.empty()) args.push_back(file);
    env.push_back("TMPDIR=" + (dir_ / "tmp").string());
    return {.argv = args, .path = PCLSPOOL_FILTER, .env = env, .inherit_env = false};
  }

  // Runs the filter; `file` empty feeds `input` on standard input.
  Result Run(const std::string& copies, const std::string& options, const std::string& file,
             const std::string& input, const std::vector<std::string>& env) {
    testing::Program filter = Filter(copies, options, file, env);
    filter.in = testing::Input::Bytes(input);
    return testing::RunProgram(filter);
  }

  std::string Ppd() const { return std::string("PPD=") + PCLSPOOL_PPD; }
  std::string Root() const { return "CUPS_SERVERROOT=" + (dir_ / "root").string(); }
  std::string Sample() const { return (fs::path(PCLSPOOL_EXAMPLES) / "sample.pcl").string(); }

  testing::ScratchDir dir_{"filter"};
};

TEST_F(FilterCommand, AsCupsRunsIt) {
  const std::string sample = testing::ReadFile(Sample());
  const std::string pcl = "CONTENT_TYPE=application/vnd.cups-pcl";
  struct Case {
    const char* name;
    std::string copies;
    std::string options;
    bool from_stdin;
    std::vector<std::string> env;
    int status;
    std::vector<std::string> err_has;  // lines standard error holds
    std::size_t in_stream;             // copies of the sample in the stream
    std::size_t uels;  // a plain job has the sample's two and the module's closing one;
                       // a stored copy loses the sample's closing one (it comes after
                       // the last page, where a stored job keeps nothing)
  } cases[] = {
      {"the file argument", "1", "", false, {Ppd(), Root()}, 0,
       {"PAGE: 1 1\n", "PAGE: 2 1\n", "PAGE: 3 1\n"}, 1, 3},
      {"standard input by its type", "1", "", true, {Ppd(), Root(), pcl}, 0,
       {"PAGE: 3 1\n"}, 1, 3},
      {"collated copies", "3", "Watermark=2", false, {Ppd(), Root()}, 0,
       {"INFO: Printing 3 collated copies, watermark 2\n", "PAGE: 1 3\n", "PAGE: 3 3\n"}, 3, 6},
      {"uncollated copies", "2", "collate=false", false, {Ppd(), Root()}, 0,
       {"PAGE: 1 2\n", "PAGE: 3 2\n"}, 1, 3},
      {"PCL is not placed again", "1", "number-up=2", false, {Ppd(), Root()}, 0,
       {"INFO: A PCL job prints as it is", "PAGE: 3 1\n"}, 1, 3},
      // CUPS names the type of the document it was given, not of what its
      // filters made of it (texttopdf's PDF arrives as text/plain).
      {"standard input told by its content, not by its type", "1", "", true,
       {Ppd(), Root(), "CONTENT_TYPE=text/plain"}, 0, {"PAGE: 3 1\n"}, 1, 3},
      {"standard input of no type", "1", "", true, {Ppd(), Root()}, 0, {"PAGE: 3 1\n"}, 1, 3},
      {"no PPD", "1", "", false, {Root()}, 1, {"ERROR: no PPD file"}, 0, 0},
      {"a watermark the settings file lacks", "1", "Watermark=3", false, {Ppd(), Root()}, 1,
       {"ERROR: watermark=3: the settings file ", "OrvWater.INI has no such text\n"}, 0, 0},
      {"a watermark without a settings file", "1", "Watermark=1", false,
       {Ppd(), "CUPS_SERVERROOT=/nonexistent"}, 1,
       {"ERROR: watermark=1: /nonexistent/pclspool/OrvWater.INI does not exist\n"}, 0, 0},
      {"no watermark needs no settings file", "1", "", false,
       {Ppd(), "CUPS_SERVERROOT=/nonexistent"}, 0, {"PAGE: 3 1\n"}, 1, 3},
      {"six-up", "1", "number-up=6", false, {Ppd(), Root()}, 1, {"ERROR: number-up=6: "}, 0, 0},
      {"too many copies", "100", "", false, {Ppd(), Root()}, 1, {"ERROR: copies=100: "}, 0, 0},
      // cupsd acts on every line a filter writes: a value never starts one.
      {"a value holding a line", "1", "booklet='on\nPAGE: 9 9'", false, {Ppd(), Root()}, 1,
       {"ERROR: booklet=on?PAGE: 9 9: not none, left or right\n"}, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Result r = Run(c.copies, c.options, c.from_stdin ? "" : Sample(),
                         c.from_stdin ? sample : "", c.env);
    EXPECT_EQ(r.status, c.status) << r.err;
    for (const std::string& line : c.err_has) {
      EXPECT_NE(r.err.find(line), std::string::npos) << "no '" << line << "' in\n" << r.err;
    }
    // A failed job sends nothing; a printed one is the sample's pages.
    EXPECT_EQ(Count(r.out, "Page 1: plain text."), c.in_stream);
    EXPECT_EQ(Count(r.out, "\x1B%-12345X"), c.uels);
    EXPECT_TRUE(fs::is_empty(dir_ / "tmp")) << "left in TMPDIR";
  }
}

TEST_F(FilterCommand, SigtermCancelsAtOnce) {
  // A job that waits on its standard input for ever: the cancel must end
  // it, with nothing sent and nothing left.
  testing::Program program =
      Filter("3", "collate=true", "", {Ppd(), Root(), "CONTENT_TYPE=application/vnd.cups-pcl"});
  program.in = testing::Input::Pipe();
  testing::ChildProcess filter(program);
  ASSERT_TRUE(filter.started()) << filter.error();
  // Two pages of the sample, then nothing more: the filter waits for the
  // rest of its input.
  const std::string sample = testing::ReadFile(Sample());
  const std::size_t third = sample.find("\x1B*p300x400YPage 3");
  ASSERT_NE(third, std::string::npos);
  ASSERT_EQ(::write(filter.in(), sample.data(), third), static_cast<ssize_t>(third));
  // Once the job has its spool directory.
  for (int i = 0; i < 500 && fs::is_empty(dir_ / "tmp"); ++i) ::usleep(10000);
  ASSERT_FALSE(fs::is_empty(dir_ / "tmp")) << "the job did not start";
  ::usleep(100000);
  ASSERT_TRUE(filter.Signal(SIGTERM));
  // Alone it stops in a fifth of a second; the limit leaves room for a
  // sanitized build on a loaded machine and still catches a job that waits
  // for its input.
  const Result r = filter.Wait(std::chrono::seconds(20));
  ASSERT_FALSE(r.timed_out) << "the filter did not stop within 20 seconds";
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "") << "a cancelled collated job sends nothing";
  EXPECT_NE(r.err.find("INFO: Job cancelled\n"), std::string::npos) << r.err;
  EXPECT_TRUE(fs::is_empty(dir_ / "tmp")) << "left in TMPDIR";
}

}  // namespace
}  // namespace pclspool::filter
