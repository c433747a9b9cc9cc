// Plays rendered pages on the spooler hooks: every page a spooler page of
// its own, its raster placed in the page's cell of the sheet, the job
// header inside the first page (after the first page's settings override,
// so that the page size it gives stands), nothing in any page that ejects
// or resets one.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "pcl/pcl_raster.h"
#include "rendering/cancel_flag.h"
#include "rendering/pbm_stream.h"
#include "rendering/render_plan.h"

namespace pclspool::rendering {

// The hooks of the job, as the command drives them.
class PageHooks {
 public:
  virtual void StartPage() = 0;                                   // DrvSplStartPage
  virtual void Write(const uint8_t* data, std::size_t size) = 0;  // DrvSplWritePrinter
  virtual void EndPage() = 0;                                     // DrvSplEndPage
  // After a page: hands what the printer has gathered on, so that a plain
  // job's pages reach the printer as they are made.
  virtual void PageDone() = 0;
  // True once the printer takes nothing more.
  virtual bool PrinterFailed() = 0;

 protected:
  ~PageHooks() = default;
};

class PagePlayer final : public PbmSink, private pcl::ByteSink {
 public:
  // cancel may be null; set, it stops the job before the next page.
  PagePlayer(const RenderPlan& plan, PageHooks& hooks, const std::atomic<bool>* cancel);

  bool OnPageStart(int32_t width, int32_t height) override;
  void OnRow(const uint8_t* bits) override;
  bool OnPageEnd() override;

  // After the last page: the job's closing reset, if a page was sent.
  void Finish();
  // A page cut short (its rendering failed): its raster is ended, so that
  // what follows is read as commands; the page itself is left open.
  void Abandon();

  // Pages begun (rendered by Ghostscript) and pages complete on the hooks.
  uint32_t begun() const { return begun_; }
  uint32_t sent() const { return sent_; }
  bool cancelled() const { return IsCancelled(cancel_); }

 private:
  void Put(const uint8_t* data, std::size_t size) override;

  const RenderPlan& plan_;
  PageHooks& hooks_;
  const std::atomic<bool>* cancel_;
  pcl::PclRasterWriter writer_;
  bool in_page_ = false;
  bool page_is_blank_ = false;
  uint32_t begun_ = 0;
  uint32_t sent_ = 0;
};

}  // namespace pclspool::rendering
