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

std::vector<std::string> Shell(const std::string& script) { return {"/bin/sh", "-c", script}; }

TEST(ChildProcess, RunsAsAsked) {
  const struct {
    const char* name;
    Program program;
    int status;
    std::string out, err, error;
  } cases[] = {
      {"exit status, output apart", {.argv = Shell("echo out; echo err >&2; exit 3")}, 3, "out\n",
       "err\n", ""},
      {"error with output", {.argv = Shell("echo out; echo err >&2"), .err = Output::Stdout()}, 0,
       "out\nerr\n", "", ""},
      {"a signal", {.argv = Shell("kill -TERM $$")}, 128 + SIGTERM, "", "", ""},
      {"bytes from a regular file",
       {.argv = Shell("cat; test -f /dev/stdin && echo ': a file'"), .in = Input::Bytes("in")}, 0,
       "in: a file\n", "", ""},
      {"its environment alone",
       {.argv = Shell("echo \"[$FOO] [$HOME]\""), .env = {"FOO=bar"}, .inherit_env = false}, 0,
       "[bar] []\n", "", ""},
      {"a pipe nobody reads",
       {.argv = Shell("yes | head -c 100000 || echo cannot write >&2"), .out = Output::ClosedPipe()},
       0, "", "cannot write\n", ""},
      {"no such program", {.argv = {"no-such-program"}}, -1, "", "", "no such program"},
      {"no such directory", {.argv = Shell("true"), .dir = "/nonexistent"}, -1, "", "",
       "cannot change to /nonexistent"},
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
  const ProgramRun r =
      RunProgram({.argv = Shell("sleep 30 & echo $!; wait"), .time_limit = milliseconds(300)});
  EXPECT_TRUE(r.timed_out);
  EXPECT_EQ(r.status, 128 + SIGKILL);
  const std::string sleep = r.out.substr(0, r.out.find('\n'));
  for (int i = 0; i < 100 && Running(sleep); ++i) std::this_thread::sleep_for(milliseconds(10));
  EXPECT_FALSE(Running(sleep)) << "what the child started still runs";

  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(RunProgram({.argv = Shell("(sleep 3 &); echo started")}).out, "started\n");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

}  // namespace
}  // namespace pclspool::testing
