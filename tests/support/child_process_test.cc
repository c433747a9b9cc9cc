// The one way the tests run a program: what the child gets and how its end
// is told, which every test that runs the command or a tool relies on.
#include "support/child_process.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <fstream>
#include <string>
#include <thread>

namespace pclspool::testing {
namespace {

using std::chrono::milliseconds;

Program Shell(const std::string& script) { return {.argv = {"/bin/sh", "-c", script}}; }

TEST(ChildProcess, RunsAsAsked) {
  Program merged = Shell("echo out; echo err >&2");
  merged.err = Output::Stdout();
  Program bytes = Shell("cat; test -f /dev/stdin && echo ': a file'");
  bytes.in = Input::Bytes("in");
  Program alone = Shell("echo \"[$FOO] [$HOME]\"");
  alone.env = {"FOO=bar"};
  alone.inherit_env = false;
  Program closed = Shell("yes | head -c 100000 || echo cannot write >&2");
  closed.out = Output::ClosedPipe();
  Program nowhere = Shell("true");
  nowhere.dir = "/nonexistent";
  const struct {
    const char* name;
    Program program;
    int status;
    std::string out, err, error;
  } cases[] = {
      {"exit status, output apart", Shell("echo out; echo err >&2; exit 3"), 3, "out\n", "err\n",
       ""},
      {"error with output", merged, 0, "out\nerr\n", "", ""},
      {"a signal", Shell("kill -TERM $$"), 128 + SIGTERM, "", "", ""},
      {"bytes from a regular file", bytes, 0, "in: a file\n", "", ""},
      {"its environment alone", alone, 0, "[bar] []\n", "", ""},
      {"a pipe nobody reads", closed, 0, "", "cannot write\n", ""},
      {"no such program", {.argv = {"no-such-program"}}, -1, "", "", "no such program"},
      {"no such directory", nowhere, -1, "", "", "cannot change to /nonexistent"},
  };
  for (const auto& c : cases) {
    const ProgramRun r = RunProgram(c.program);
    EXPECT_EQ(r.status, c.status) << c.name;
    EXPECT_EQ(r.out, c.out) << c.name;
    EXPECT_EQ(r.err, c.err) << c.name;
    EXPECT_NE(r.error.find(c.error), std::string::npos) << c.name << ": " << r.error;
  }
}

// Whether a process runs (a zombie has ended).
bool Running(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/stat");
  std::string stat;
  std::getline(in, stat);
  const std::size_t name_end = stat.rfind(')');
  return name_end != std::string::npos && stat.size() > name_end + 2 && stat[name_end + 2] != 'Z';
}

// The time limit ends the child and what it started; a child's own child
// that holds its output open does not hold up the end.
TEST(ChildProcess, TheTimeLimitKillsTheProcessGroup) {
  Program stuck = Shell("sleep 30 & echo $!; wait");
  stuck.time_limit = milliseconds(300);
  const ProgramRun r = RunProgram(stuck);
  EXPECT_TRUE(r.timed_out);
  EXPECT_EQ(r.status, 128 + SIGKILL);
  const std::string sleep = r.out.substr(0, r.out.find('\n'));
  for (int i = 0; i < 100 && Running(sleep); ++i) std::this_thread::sleep_for(milliseconds(10));
  EXPECT_FALSE(Running(sleep)) << "what the child started still runs";

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunProgram(Shell("(sleep 3 &); echo started")).out, "started\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace pclspool::testing
