// Running a program in a child process, the one way tests, fuzzers and
// benchmarks do it: its arguments and environment, where its standard
// streams come from and go to, how it ended, and a time limit after which
// it is killed.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace pclspool::testing {

// Where the child's standard input comes from.
struct Input {
  enum class Kind { kNull, kFile, kBytes, kPipe };
  Kind kind = Kind::kNull;
  std::string value;  // the path (kFile), the bytes (kBytes)

  static Input Null() { return {}; }
  // Opened by the child, so a FIFO waits for its writer there, not here.
  static Input File(const std::filesystem::path& p) { return {Kind::kFile, p.string()}; }
  // From an unlinked temporary file: a regular file, as a shell's < gives.
  static Input Bytes(std::string b) { return {Kind::kBytes, std::move(b)}; }
  // A pipe whose writing end is ChildProcess::in().
  static Input Pipe() { return {Kind::kPipe, {}}; }
};

// Where a standard output stream of the child goes.
struct Output {
  enum class Kind { kCapture, kFile, kClosedPipe, kPipe, kStdout };
  Kind kind = Kind::kCapture;
  std::string path;  // kFile: created or emptied

  // Into ProgramRun::out or ::err, through a pipe (no file size limit
  // applies to it).
  static Output Capture() { return {}; }
  static Output File(const std::filesystem::path& p) { return {Kind::kFile, p.string()}; }
  // A pipe whose reading end is closed before the child starts: its first
  // write fails (EPIPE, or SIGPIPE where not ignored).
  static Output ClosedPipe() { return {Kind::kClosedPipe, {}}; }
  // Standard output only: a pipe whose reading end is ChildProcess::out(),
  // for the caller to read.
  static Output Pipe() { return {Kind::kPipe, {}}; }
  // Standard error only: wherever standard output goes, interleaved.
  static Output Stdout() { return {Kind::kStdout, {}}; }
};

// Written with designated initializers, {.argv = ..., .dir = ...}: every
// member has an initializer of its own, so any may be left out.
struct Program {
  std::vector<std::string> argv{};
  // What runs; argv[0] when empty. Either is looked up on PATH (then in the
  // sbin directories) when it holds no slash.
  std::string path{};
  std::vector<std::string> env{};  // "NAME=value", over this process's environment
  bool inherit_env = true;         // false: `env` is all the child gets
  std::filesystem::path dir{};     // working directory; this one when empty
  Input in{};
  Output out{};
  Output err{};
  // Beyond it the child, and whatever it started in its process group, is
  // killed.
  std::chrono::milliseconds time_limit = std::chrono::minutes(2);
  std::optional<uint64_t> file_size_limit{};  // RLIMIT_FSIZE, in bytes
};

struct ProgramRun {
  int status = -1;         // exit status; 128 + signal; -1 when it did not start
  bool timed_out = false;  // killed at the time limit
  std::string out, err;    // what was captured
  std::string error;       // why it did not start

  bool Ok() const { return status == 0; }
  // "NAME exited with S: ERR OUT", for messages.
  std::string Describe(const std::string& name) const;
};

// Runs the program to its end (or its time limit).
ProgramRun RunProgram(const Program& program);

// A program running in the background, in a process group of its own. The
// destructor kills what still runs (the whole group) and reaps it.
class ChildProcess {
 public:
  ChildProcess() = default;
  explicit ChildProcess(const Program& program);
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ~ChildProcess();

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }
  const std::string& error() const { return run_.error; }  // why it did not start
  int in() const { return in_; }    // Input::Pipe
  int out() const { return out_; }  // Output::Pipe

  // Whether the process has ended (it is left to Wait to collect).
  bool Ended() const;
  // Sends a signal to the process (not its group); false if it has ended.
  bool Signal(int signal) const;
  // Waits for the end, collecting what is captured, up to `limit` from
  // now; beyond it kills the group. Captured output is read only here: a
  // background child that writes more than a pipe holds waits for it.
  ProgramRun Wait(std::chrono::milliseconds limit);
  // SIGTERM, then Wait(grace).
  ProgramRun Stop(std::chrono::milliseconds grace = std::chrono::seconds(3));

 private:
  void Reset();

  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  int capture_[2] = {-1, -1};  // standard output, standard error
  bool ended_ = false;
  ProgramRun run_;
};

// The program's path: as given when it holds a slash, else found on PATH
// or in the sbin directories; empty when there is none.
std::string FindProgram(const std::string& name);
inline bool OnPath(const std::string& name) { return !FindProgram(name).empty(); }

}  // namespace pclspool::testing
