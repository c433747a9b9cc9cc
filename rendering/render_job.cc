#include "rendering/render_job.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>

#include "rendering/ghostscript.h"
#include "rendering/pbm_stream.h"
#include "rendering/stdin_relay.h"

namespace pclspool::rendering {

namespace {

// Page stream bytes read at a time: as much as the pipe holds.
constexpr std::size_t kReadBytes = 1024 * 1024;
// How often a wait for page data looks at the relayed standard input and
// the page time limit.
constexpr std::chrono::milliseconds kLookEvery{250};

using Kind = RenderOutcome::Kind;

std::string NameOf(const RenderInput& input) {
  if (!input.name.empty()) return input.name;
  return input.path == "-" ? "standard input" : input.path;
}

// Tells the page counts whenever they change.
class ProgressSink final : public PbmSink {
 public:
  // `rendered` counts the pages of the whole job, over its inputs.
  ProgressSink(PbmSink& next, PagePlayer& player, const RenderRequest& request, std::string name,
               uint32_t& rendered)
      : next_(next), player_(player), request_(request), name_(std::move(name)), rendered_(rendered) {}
  bool OnPageStart(int32_t width, int32_t height) override {
    // The page beyond the job's last is never begun. (Counted as
    // Ghostscript renders them: pages a page set leaves out count too.)
    if (request_.max_pages > 0 && rendered_ >= request_.max_pages) {
      too_many_ = true;
      return false;
    }
    ++rendered_;
    const bool go = next_.OnPageStart(width, height);
    Tell();
    return go;
  }
  void OnRow(const uint8_t* bits) override { next_.OnRow(bits); }
  bool OnPageEnd() override {
    const bool go = next_.OnPageEnd();
    Tell();
    return go;
  }
  bool too_many() const { return too_many_; }

 private:
  void Tell() {
    if (request_.progress) request_.progress(name_, player_.begun(), player_.sent());
  }

  PbmSink& next_;
  PagePlayer& player_;
  const RenderRequest& request_;
  std::string name_;
  uint32_t& rendered_;
  bool too_many_ = false;
};

// The bytes of the standard input from where it is to its end, when it is
// a file; 0 when that cannot be told.
uint64_t StdinFileBytesLeft() {
  struct stat st {};
  const off_t at = ::lseek(STDIN_FILENO, 0, SEEK_CUR);
  if (::fstat(STDIN_FILENO, &st) != 0 || at < 0 || st.st_size < at) return 0;
  return static_cast<uint64_t>(st.st_size - at);
}

// Renders one input. The outcome's pages are left to the caller.
RenderOutcome RenderOne(const RenderRequest& request, const RenderPlan& plan,
                        const RenderInput& input, PageArranger& arranger, PagePlayer& player,
                        uint32_t& rendered, uint8_t* buf) {
  const std::string name = NameOf(input);
  const auto failed = [&](const std::string& why) {
    return RenderOutcome{Kind::kFailed, name + ": " + why, 0};
  };
  GhostscriptCommand command;
  command.program = request.ghostscript;
  command.resolution = plan.rasterResolution;
  command.width = plan.cellColumns;
  command.height = plan.cellRows;
  command.page_list = request.page_list;
  command.input = input.path;

  // Standard input: a file is rewound past what was read of it and read
  // by Ghostscript itself; anything else is relayed. Either way Ghostscript
  // copies a PDF whole before it renders it: a file too large for that is
  // refused at once, a pipe once it has given too much.
  StdinRelay relay;
  int stdin_fd = -1;
  bool relayed = false;
  const uint64_t max_stdin = input.pdf ? request.max_stdin_pdf_bytes : 0;
  const std::string too_large = "a PDF of more than " + std::to_string(max_stdin) +
                                " bytes, which Ghostscript would copy whole; name it as a file";
  if (input.path == "-") {
    if (RewindStdin(input.head.size())) {
      if (max_stdin > 0 && StdinFileBytesLeft() > max_stdin) return failed(too_large);
      stdin_fd = STDIN_FILENO;
    } else {
      std::string error;
      stdin_fd = relay.Start(input.head, max_stdin, &error);
      if (stdin_fd < 0) return failed(error);
      relayed = true;
    }
  }
  GhostscriptProcess gs;
  std::string error;
  const bool started = gs.Start(command, stdin_fd, &error);
  if (relayed) ::close(stdin_fd);  // Ghostscript has its own copy
  if (!started) return failed(DescribeGhostscriptFailure(error));

  ProgressSink sink(arranger, player, request, name, rendered);
  PbmStream stream(sink);
  // The page time limit counts from the last page data handed on, or the
  // last of the document relayed: time spent writing to a slow printer, or
  // waiting for a document still arriving, is not Ghostscript's.
  using Clock = std::chrono::steady_clock;
  const bool timed = request.page_timeout.count() > 0;
  Clock::time_point active = Clock::now();
  uint64_t relayed_bytes = 0;
  for (;;) {
    const ssize_t n = gs.Read(buf, kReadBytes, request.cancel,
                              timed ? std::min(kLookEvery, request.page_timeout) : kLookEvery);
    if (relay.overflowed()) {
      gs.Kill();
      return failed(too_large);
    }
    if (n == GhostscriptProcess::kQuiet) {
      if (relay.relayed() != relayed_bytes) {
        relayed_bytes = relay.relayed();
        active = Clock::now();
      } else if (timed && Clock::now() - active >= request.page_timeout) {
        gs.Kill();
        const auto limit = std::chrono::ceil<std::chrono::seconds>(request.page_timeout);
        return failed("stopped: no page data from Ghostscript in " + std::to_string(limit.count()) +
                      " s (a document in an endless loop?)");
      }
      continue;
    }
    if (n == GhostscriptProcess::kCancelled) {
      gs.Kill();
      return {Kind::kCancelled, "", 0};
    }
    if (n == GhostscriptProcess::kReadFailed) {
      const int err = errno;
      gs.Kill();
      return failed("cannot read Ghostscript's pages: " + std::string(std::strerror(err)));
    }
    if (n == 0) break;
    if (!stream.Feed(buf, static_cast<std::size_t>(n))) break;
    active = Clock::now();
  }
  if (sink.too_many()) {
    gs.Kill();
    return failed("stopped: the job has more than " + std::to_string(request.max_pages) +
                  " pages, the most one job prints");
  }
  if (stream.stopped()) {
    // The player stopped: cancelled, or the printer failed; or a page
    // could not be kept for its turn.
    gs.Kill();
    if (!arranger.error().empty()) return failed(arranger.error());
    return {player.cancelled() ? Kind::kCancelled : Kind::kPrinterFailed, "", 0};
  }
  if (!stream.error().empty()) {
    gs.Kill();
    return failed("Ghostscript's page stream is damaged: " + stream.error());
  }
  std::string reason;
  const bool exited_ok = gs.Wait(&reason);
  if (!exited_ok) return failed(DescribeGhostscriptFailure(reason));
  if (!stream.Finish()) {
    return failed("Ghostscript's page stream is damaged: " + stream.error());
  }
  // Ghostscript gives up on a document it cannot read at all (a damaged
  // PDF) with a message but a good exit status, and no page; pages asked
  // for that the document does not have give no page either.
  if (stream.pages() == 0 && !request.page_list.empty()) {
    return failed("it has none of the pages " + request.page_list);
  }
  if (stream.pages() == 0 && gs.ReportedError()) {
    return failed(DescribeGhostscriptFailure(GhostscriptReason(gs.messages())));
  }
  return {Kind::kDone, "", 0};
}

}  // namespace

RenderOutcome RenderInputs(const RenderRequest& request, const RenderPlan& plan,
                           PageHooks& hooks) {
  const std::unique_ptr<uint8_t[]> buf(new uint8_t[kReadBytes]);
  PagePlayer player(plan, hooks, request.cancel);
  const bool stacked = plan.layout.cellWidth > plan.layout.cellHeight;
  PageArranger arranger(plan.job.booklet ? PageOrder{} : request.order, plan.layout.cells, stacked,
                        plan.duplex > 0 ? 2 : 1, request.scratch, player);
  RenderOutcome outcome;
  uint32_t rendered = 0;
  for (const RenderInput& input : request.inputs) {
    outcome = RenderOne(request, plan, input, arranger, player, rendered, buf.get());
    if (outcome.kind != Kind::kDone) break;
  }
  std::string error;
  if (outcome.kind == Kind::kDone && !arranger.Finish(&error)) {
    outcome = error.empty() ? RenderOutcome{player.cancelled() ? Kind::kCancelled : Kind::kPrinterFailed, "", 0}
                            : RenderOutcome{Kind::kFailed, error, 0};
  }
  if (outcome.kind == Kind::kDone) {
    player.Finish();
  } else {
    player.Abandon();
  }
  outcome.pages = player.sent();
  return outcome;
}

}  // namespace pclspool::rendering
