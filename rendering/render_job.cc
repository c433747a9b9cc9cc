#include "rendering/render_job.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "rendering/ghostscript.h"
#include "rendering/pbm_stream.h"
#include "rendering/stdin_relay.h"

namespace pclspool::rendering {

namespace {

// Page stream bytes read at a time: as much as the pipe holds.
constexpr std::size_t kReadBytes = 1024 * 1024;

using Kind = RenderOutcome::Kind;

std::string NameOf(const RenderInput& input) {
  if (!input.name.empty()) return input.name;
  return input.path == "-" ? "standard input" : input.path;
}

// Tells the page counts whenever they change.
class ProgressSink final : public PbmSink {
 public:
  ProgressSink(PbmSink& next, PagePlayer& player, const RenderRequest& request, std::string name)
      : next_(next), player_(player), request_(request), name_(std::move(name)) {}
  bool OnPageStart(int32_t width, int32_t height) override {
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

 private:
  void Tell() {
    if (request_.progress) request_.progress(name_, player_.begun(), player_.sent());
  }

  PbmSink& next_;
  PagePlayer& player_;
  const RenderRequest& request_;
  std::string name_;
};

// Renders one input. The outcome's pages are left to the caller.
RenderOutcome RenderOne(const RenderRequest& request, const RenderPlan& plan,
                        const RenderInput& input, PageArranger& arranger, PagePlayer& player,
                        uint8_t* buf) {
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
  // by Ghostscript itself; anything else is relayed.
  StdinRelay relay;
  int stdin_fd = -1;
  bool relayed = false;
  if (input.path == "-") {
    if (RewindStdin(input.head.size())) {
      stdin_fd = STDIN_FILENO;
    } else {
      std::string error;
      stdin_fd = relay.Start(input.head, &error);
      if (stdin_fd < 0) return failed(error);
      relayed = true;
    }
  }
  GhostscriptProcess gs;
  std::string error;
  const bool started = gs.Start(command, stdin_fd, &error);
  if (relayed) ::close(stdin_fd);  // Ghostscript has its own copy
  if (!started) return failed(DescribeGhostscriptFailure(error));

  ProgressSink sink(arranger, player, request, name);
  PbmStream stream(sink);
  for (;;) {
    const ssize_t n = gs.Read(buf, kReadBytes, request.cancel);
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
  for (const RenderInput& input : request.inputs) {
    outcome = RenderOne(request, plan, input, arranger, player, buf.get());
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
