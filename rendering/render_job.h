// A job of PDF and PostScript documents: each rendered by Ghostscript
// into the cells of the job's sheets and played on the hooks page by page
// as the pages come, so that memory stays bounded whatever the page count
// and a plain job's first page reaches the printer before the last is
// rendered.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "rendering/page_order.h"
#include "rendering/page_player.h"
#include "rendering/render_plan.h"

namespace pclspool::rendering {

struct RenderInput {
  std::string path;  // "-" for standard input
  std::string head;  // standard input's bytes already read, to be given first
  std::string name;  // what messages call it; empty: the path ("standard input" for "-")
  bool pdf = false;  // a PDF (Ghostscript copies one on standard input whole)
};

struct RenderRequest {
  std::string ghostscript = "gs";
  std::string page_list;  // Ghostscript's PageList, empty for every page
  std::vector<RenderInput> inputs;
  // Which sides print and in what order (not for booklets, whose order is
  // the module's), and where pages that wait for their turn are kept.
  PageOrder order;
  std::string scratch;
  const std::atomic<bool>* cancel = nullptr;
  // The job's limits (0: none): the longest Ghostscript may go without
  // page data while no more of the document arrives, the most pages of the
  // job, the largest PDF on standard input. Crossing one fails the job.
  std::chrono::milliseconds page_timeout{0};
  uint32_t max_pages = 0;
  uint64_t max_stdin_pdf_bytes = 0;
  // Called whenever the count of pages rendered (begun by Ghostscript) or
  // sent (complete on the hooks) of an input changes; may be empty.
  std::function<void(const std::string& name, uint32_t rendered, uint32_t sent)> progress;
};

struct RenderOutcome {
  enum class Kind {
    kDone,
    kFailed,         // an input could not be rendered; message names it
    kCancelled,      // *cancel came true
    kPrinterFailed,  // the printer took nothing more: the job ended early
  };
  Kind kind = Kind::kDone;
  std::string message;
  uint32_t pages = 0;  // pages played on the hooks
};

// Renders the inputs one after another as one job on the hooks. Pages
// already played stay played when an input fails.
RenderOutcome RenderInputs(const RenderRequest& request, const RenderPlan& plan,
                           PageHooks& hooks);

}  // namespace pclspool::rendering
