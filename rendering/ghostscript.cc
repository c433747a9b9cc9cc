#include "rendering/ghostscript.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "process/child_process.h"
#include "rendering/cancel_flag.h"

namespace pclspool::rendering {

namespace {

// How often a wait for Ghostscript looks at the cancel flag.
constexpr int kPollMilliseconds = 100;
// The pipe of the page stream, larger than the default 64 KiB: fewer
// switches between Ghostscript and us on every page.
constexpr int kPipeBytes = 1 << 20;
// A read waits this long for the page stream to gather this much.
constexpr std::size_t kBatchBytes = 256 * 1024;
constexpr long kBatchWaitNanoseconds = 1000 * 1000;
// Ghostscript writes its page stream through C stdio, 4 KiB a call on a
// pipe. Run under coreutils' stdbuf with a buffer this large, it makes
// 256 times fewer calls: on the machine of bench/ the system calls alone
// cost half as much time as the rendering.
constexpr char kStdbuf[] = "stdbuf";
constexpr char kStdoutBuffer[] = "-o1048576";
// The longest reason reported.
constexpr std::size_t kMaxReasonBytes = 200;

std::string Reason(int err) { return std::strerror(err); }

void CloseFd(int* fd) {
  if (*fd >= 0) ::close(*fd);
  *fd = -1;
}

// Ghostscript's messages may quote the document: nothing from them reaches
// a terminal as a control character.
std::string Printable(std::string_view s) {
  std::string out;
  for (char c : s.substr(0, kMaxReasonBytes)) {
    const auto u = static_cast<unsigned char>(c);
    out += u < 0x20 || u == 0x7F ? '?' : c;
  }
  return out;
}

std::string_view TrimLine(std::string_view line) {
  while (!line.empty() && (line.front() == ' ' || line.front() == '\t' || line.front() == '*'))
    line.remove_prefix(1);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\r' || line.back() == '\t'))
    line.remove_suffix(1);
  return line;
}

// Where Ghostscript keeps its temporary files: a new directory under
// TMPDIR, else /tmp. Empty, with *error set, when none can be made.
std::string MakeScratchDirectory(std::string* error) {
  const char* tmp = ::getenv("TMPDIR");
  const std::string tmp_dir = tmp && *tmp ? tmp : "/tmp";
  std::string pattern = tmp_dir + "/pclspool-gs.XXXXXX";
  if (!::mkdtemp(pattern.data())) {
    *error = "cannot create a directory for Ghostscript in " + tmp_dir + ": " + Reason(errno);
    return "";
  }
  return pattern;
}

// The command run: Ghostscript as found, under stdbuf when there is one
// (without it, Ghostscript runs as it is, only slower).
std::vector<std::string> SpawnArguments(const GhostscriptCommand& command,
                                        const std::string& program, const std::string& stdbuf) {
  std::vector<std::string> args = GhostscriptArguments(command);
  args[0] = program;
  if (!stdbuf.empty()) args.insert(args.begin(), {stdbuf, kStdoutBuffer});
  return args;
}

}  // namespace

std::vector<std::string> GhostscriptArguments(const GhostscriptCommand& c) {
  std::vector<std::string> args = {
      c.program,
      "-q",
      "-dSAFER",
      "-dBATCH",
      "-dNOPAUSE",
      "-sDEVICE=pbmraw",
      "-r" + std::to_string(c.resolution),
      "-g" + std::to_string(c.width) + "x" + std::to_string(c.height),
      // The page size stays the cell's, and every page is scaled to fit
      // it (turned a quarter if that fits it better), centred.
      "-dFIXEDMEDIA",
      "-dPDFFitPage",
      "-dPSFitPage",
      "-dEPSFitPage",
      // What a PostScript program prints goes to the messages, never into
      // the page stream.
      "-sstdout=%stderr",
      "-sOutputFile=-",
  };
  if (!c.page_list.empty()) args.push_back("-sPageList=" + c.page_list);
  if (c.input == "-" || (!c.input.empty() && c.input[0] == '/')) {
    args.push_back(c.input);
  } else {
    args.push_back("./" + c.input);
  }
  return args;
}

std::string GhostscriptReason(const std::string& messages) {
  std::string_view first;
  std::size_t start = 0;
  while (start < messages.size()) {
    std::size_t end = messages.find('\n', start);
    if (end == std::string::npos) end = messages.size();
    const std::string_view line = TrimLine(std::string_view(messages).substr(start, end - start));
    if (line.find("Error") != std::string_view::npos || line.find("error") != std::string_view::npos)
      return Printable(line);
    if (first.empty()) first = line;
    start = end + 1;
  }
  return Printable(first);
}

std::string DescribeGhostscriptFailure(const std::string& reason) {
  struct Known {
    const char* says;  // a piece of Ghostscript's message
    const char* means;
  };
  // Ghostscript 10's wording; the reason itself follows in brackets, for
  // whoever knows Ghostscript.
  static constexpr Known kKnown[] = {
      {"Couldn't initialise file", "the PDF is damaged or cut short"},
      {"Catalog dictionary not located", "the PDF is damaged or cut short"},
      {"page not found", "it does not have the pages asked for"},
      {"password", "the PDF is encrypted and needs a password"},
      {"VMerror", "Ghostscript ran out of memory on it"},
  };
  if (reason.rfind("cannot run ", 0) == 0) {
    return reason.find("No such file") != std::string::npos
               ? "Ghostscript is not installed, or not where it is looked for (" + reason + ")"
               : reason;
  }
  for (const Known& k : kKnown) {
    if (reason.find(k.says) != std::string::npos) return std::string(k.means) + " (" + reason + ")";
  }
  if (reason.rfind("Error: /", 0) == 0) return "the PostScript program fails: " + reason.substr(7);
  return "Ghostscript cannot render it: " + reason;
}

GhostscriptProcess::~GhostscriptProcess() { Kill(); }

bool GhostscriptProcess::Start(const GhostscriptCommand& command, int stdin_fd,
                               std::string* error) {
  int lookup = 0;
  const std::string program = process::FindProgram(command.program, "", &lookup);
  if (program.empty()) {
    *error = "cannot run " + command.program + ": " + Reason(lookup);
    return false;
  }
  const std::string stdbuf = process::FindProgram(kStdbuf);
  const std::string scratch = MakeScratchDirectory(error);
  if (scratch.empty()) return false;
  scratch_ = scratch;

  int out[2] = {-1, -1};
  int err[2] = {-1, -1};
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    *error = "cannot run " + command.program + ": " + Reason(errno);
    CloseFd(&out[0]), CloseFd(&out[1]), CloseFd(&err[0]), CloseFd(&err[1]);
    RemoveScratch();
    return false;
  }
#ifdef F_SETPIPE_SZ
  ::fcntl(out[0], F_SETPIPE_SZ, kPipeBytes);  // a smaller pipe only costs time
#endif

  // Whatever Ghostscript keeps in TMPDIR (a PDF read from a pipe, band
  // lists of large pages) goes with the scratch directory, even when it is
  // killed.
  process::ChildStart child;
  child.argv = SpawnArguments(command, program, stdbuf);
  child.env = {"TMPDIR=" + scratch_};
  if (stdin_fd >= 0) child.fds.push_back(process::ChildFd::Copy(STDIN_FILENO, stdin_fd));
  child.fds.push_back(process::ChildFd::Copy(STDOUT_FILENO, out[1]));
  child.fds.push_back(process::ChildFd::Copy(STDERR_FILENO, err[1]));
  std::string why;
  pid_ = process::StartChild(child, &why);
  CloseFd(&out[1]);
  CloseFd(&err[1]);
  if (pid_ < 0) {
    CloseFd(&out[0]);
    CloseFd(&err[0]);
    RemoveScratch();
    *error = "cannot run " + command.program + ": " + why.substr(why.find(": ") + 2);
    return false;
  }
  out_ = out[0];
  err_ = err[0];
  ::fcntl(out_, F_SETFL, ::fcntl(out_, F_GETFL) | O_NONBLOCK);
  ::fcntl(err_, F_SETFL, ::fcntl(err_, F_GETFL) | O_NONBLOCK);
  return true;
}

ssize_t GhostscriptProcess::Read(uint8_t* buf, std::size_t size, const std::atomic<bool>* cancel,
                                 std::chrono::milliseconds quiet) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + quiet;
  for (;;) {
    if (IsCancelled(cancel)) return kCancelled;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    // Wait for pages or messages, whichever comes, a while at most.
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    const int r = ::poll(fds, err_ >= 0 ? 2 : 1,
                         static_cast<int>(std::clamp<long long>(left, 0, kPollMilliseconds)));
    if (r < 0 && errno != EINTR) return kReadFailed;
    if (r > 0 && err_ >= 0 && fds[1].revents != 0) DrainMessages(false);
    if (r <= 0 || fds[0].revents == 0) {
      if (left <= 0) return kQuiet;
      continue;
    }
    int available = 0;
    if ((fds[0].revents & POLLHUP) == 0 && ::ioctl(out_, FIONREAD, &available) == 0 &&
        available < static_cast<int>(std::min<std::size_t>(size, kBatchBytes))) {
      // Ghostscript writes its pages 4 KiB at a time. Taken as they come,
      // every write would wake us and switch processes; a moment's wait
      // lets the pipe fill, and the page stream costs a third of the time.
      const timespec pause = {0, kBatchWaitNanoseconds};
      ::nanosleep(&pause, nullptr);
    }
    const ssize_t n = ::read(out_, buf, size);
    if (n >= 0) return n;
    if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) return kReadFailed;
  }
}

void GhostscriptProcess::DrainMessages(bool block) {
  char buf[4096];
  while (err_ >= 0) {
    const ssize_t n = ::read(err_, buf, sizeof(buf));
    if (n > 0) {
      const std::size_t room = kMaxMessageBytes - std::min(kMaxMessageBytes, messages_.size());
      messages_.append(buf, std::min<std::size_t>(room, static_cast<std::size_t>(n)));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      if (!block) return;
      pollfd fd = {err_, POLLIN, 0};
      ::poll(&fd, 1, kPollMilliseconds);
      continue;
    }
    CloseFd(&err_);  // its end, or an error: nothing more to read
  }
}

bool GhostscriptProcess::ReportedError() const {
  return messages_.find("rror") != std::string::npos;
}

void GhostscriptProcess::Kill() {
  CloseFd(&out_);
  CloseFd(&err_);
  if (pid_ > 0) process::StopChild(pid_, false, 0);
  pid_ = -1;
  RemoveScratch();
}

bool GhostscriptProcess::Wait(std::string* reason) {
  // The page stream is read to its end, or given up: a Ghostscript still
  // writing pages learns that nobody reads them.
  CloseFd(&out_);
  DrainMessages(true);
  const bool running = pid_ > 0;
  const process::ChildEnd end = running ? process::WaitChild(pid_, false, {}, 0, 0)
                                        : process::ChildEnd{};
  pid_ = -1;
  RemoveScratch();
  if (!running) {
    *reason = "Ghostscript is not running";
    return false;
  }
  if (end.status == 0) return true;
  *reason = GhostscriptReason(messages_);
  if (reason->empty()) {
    *reason = end.signal == 0 ? "Ghostscript ended with status " + std::to_string(end.status)
                              : "Ghostscript was killed by signal " + std::to_string(end.signal);
  }
  return false;
}

void GhostscriptProcess::RemoveScratch() {
  if (scratch_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(scratch_, ec);
  scratch_.clear();
}

}  // namespace pclspool::rendering
