#include "rendering/page_player.h"

#include <algorithm>
#include <string>
#include <vector>

namespace pclspool::rendering {

PagePlayer::PagePlayer(const RenderPlan& plan, PageHooks& hooks, const std::atomic<bool>* cancel)
    : plan_(plan), hooks_(hooks), cancel_(cancel), writer_(*this) {}

bool PagePlayer::OnPageStart(int32_t width, int32_t height) {
  if (cancelled() || hooks_.PrinterFailed()) return false;
  ++begun_;
  hooks_.StartPage();
  if (begun_ == 1) {
    for (const std::string& piece : JobHeader(plan_)) {
      hooks_.Write(reinterpret_cast<const uint8_t*>(piece.data()), piece.size());
    }
  }
  // Ghostscript renders every page to the cell's size; should a page come
  // otherwise, it is cut to the cell and never reaches into another.
  pcl::RasterPlacement placement = PlacePage(plan_, begun_);
  placement.rows = std::min(placement.rows, height);
  placement.columns = std::max(0, std::min(placement.columns, width - placement.skipColumns));
  writer_.Begin(placement, plan_.rasterResolution, width);
  in_page_ = true;
  page_is_blank_ = height == 0;
  return true;
}

void PagePlayer::OnRow(const uint8_t* bits) { writer_.Row(bits); }

bool PagePlayer::OnPageEnd() {
  writer_.End();
  in_page_ = false;
  // A cell left empty on purpose gets no frame either.
  const std::string border = page_is_blank_ ? "" : CellBorder(plan_, begun_);
  if (!border.empty()) {
    hooks_.Write(reinterpret_cast<const uint8_t*>(border.data()), border.size());
  }
  hooks_.EndPage();
  hooks_.PageDone();
  ++sent_;
  return !cancelled() && !hooks_.PrinterFailed();
}

void PagePlayer::Finish() {
  if (sent_ == 0) return;
  // As a driver ends its job: a reset after the last page. It belongs to
  // no page, so a stored job drops it.
  static constexpr uint8_t kReset[] = {0x1B, 'E'};
  hooks_.Write(kReset, sizeof(kReset));
}

void PagePlayer::Abandon() {
  if (!in_page_) return;
  writer_.End();
  in_page_ = false;
}

void PagePlayer::Put(const uint8_t* data, std::size_t size) { hooks_.Write(data, size); }

}  // namespace pclspool::rendering
