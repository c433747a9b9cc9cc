// Ghostscript as a child process that renders one document to a stream
// of PBM pages on a pipe: every page scaled into a cell of a fixed size,
// at the raster's resolution.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace pclspool::rendering {

struct GhostscriptCommand {
  std::string program = "gs";  // looked up on PATH unless it holds a '/'
  int32_t resolution = 0;      // -r
  int32_t width = 0;           // -g width x height, in pixels
  int32_t height = 0;
  std::string page_list;       // -sPageList; empty: every page
  std::string input;           // a file, or "-" for the process's standard input
};

// The whole argument vector, program first. A relative input name is
// given as "./name", so that no name is taken for an option or for one of
// Ghostscript's special files ("%pipe%...", "|...", "-").
std::vector<std::string> GhostscriptArguments(const GhostscriptCommand& command);

// The line that says why Ghostscript failed, from what it wrote on its
// standard error: its first error message, else its first line, else "".
std::string GhostscriptReason(const std::string& messages);

// What went wrong, in words, from Ghostscript's reason (GhostscriptReason)
// or from a failure to start it: "the PDF is damaged or cut short (...)",
// "Ghostscript is not installed (...)", "the PostScript program fails:
// /undefined in bar". What it does not recognise it quotes.
std::string DescribeGhostscriptFailure(const std::string& reason);

class GhostscriptProcess {
 public:
  // Ghostscript's own messages kept for the report; more are read and
  // dropped.
  static constexpr std::size_t kMaxMessageBytes = 4096;

  GhostscriptProcess() = default;
  GhostscriptProcess(const GhostscriptProcess&) = delete;
  GhostscriptProcess& operator=(const GhostscriptProcess&) = delete;
  // A process still running is killed and waited for.
  ~GhostscriptProcess();

  // Starts Ghostscript reading stdin_fd as its standard input (-1: none),
  // with a scratch directory of its own for its temporary files, removed
  // when it has ended. False with *error set ("cannot run gs: ...").
  bool Start(const GhostscriptCommand& command, int stdin_fd, std::string* error);

  // Reads the page stream: the count (> 0), 0 at its end, kReadFailed with
  // errno set, kCancelled when *cancel came true while waiting, or kQuiet
  // when no page data came for `quiet` (messages do not count).
  static constexpr ssize_t kReadFailed = -1;
  static constexpr ssize_t kCancelled = -2;
  static constexpr ssize_t kQuiet = -3;
  ssize_t Read(uint8_t* buf, std::size_t size, const std::atomic<bool>* cancel,
               std::chrono::milliseconds quiet);

  // Stops it at once.
  void Kill();
  // Waits for the end. True when it exited with status 0; otherwise
  // *reason says why (its own message, or how it ended).
  bool Wait(std::string* reason);

  // Whether it wrote an error message (it may still exit with 0, e.g. on a
  // PDF too damaged to render).
  bool ReportedError() const;
  const std::string& messages() const { return messages_; }

 private:
  void DrainMessages(bool block);
  void RemoveScratch();

  pid_t pid_ = -1;
  int out_ = -1;   // the page stream
  int err_ = -1;   // its messages
  std::string messages_;
  std::string scratch_;  // its TMPDIR
};

}  // namespace pclspool::rendering
