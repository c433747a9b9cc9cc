// Which rendered pages reach the sheets, and in what order: every side,
// or only the odd or the even ones (duplex by hand); the last sheet first;
// and the order in which the pages of a side fill its cells. The module
// puts the n-th page it is given into cell (n - 1) % cells of its sheet, and
// the watermark of each page follows that cell; so a page goes to another
// cell by being given at another place, never by being moved on the sheet.
// A cell without a page gets an empty page where a later cell has one.
//
// Pages that wait (a side whose cells fill out of reading order, or the
// whole job for the last sheet first) are kept compressed in an unlinked
// file of a scratch directory, so that memory stays bounded and nothing is
// left behind, whatever ends the job.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "rendering/pbm_stream.h"

namespace pclspool::rendering {

enum class SideSet { kAll, kOdd, kEven };

struct PageOrder {
  SideSet sides = SideSet::kAll;
  bool last_sheet_first = false;
  // The reading order of a sheet's cells, as number-up-layout names it:
  // right to left, bottom to top, and columns before rows.
  bool right_to_left = false;
  bool bottom_to_top = false;
  bool columns_first = false;
};

// The order in the sheet's own terms for a reader who turns the sheet a
// quarter clockwise to read its pages: what Ghostscript turns to fit (a
// portrait page in a landscape cell) stands with its top at the sheet's
// left, so the reader's left to right runs bottom to top on the sheet, and
// top to bottom runs left to right.
PageOrder TurnedForReader(const PageOrder& reader);

// The cell (the module's order: left to right, then top to bottom) of the
// page at reading position `position` of a side with `cells` cells; a
// two-cell side is one row (`stacked` false) or one column.
int32_t CellAt(const PageOrder& order, int32_t cells, bool stacked, int32_t position);

// Whether the order changes anything for sides of `cells` cells.
bool Reorders(const PageOrder& order, int32_t cells, bool stacked);

class PageArranger final : public PbmSink {
 public:
  // `cells` pages a side, `sides_per_sheet` 2 when the job is printed on
  // both sides; `scratch` is the directory for waiting pages.
  PageArranger(const PageOrder& order, int32_t cells, bool stacked, int32_t sides_per_sheet,
               std::string scratch, PbmSink& next);
  ~PageArranger();
  PageArranger(const PageArranger&) = delete;
  PageArranger& operator=(const PageArranger&) = delete;

  bool OnPageStart(int32_t width, int32_t height) override;
  void OnRow(const uint8_t* bits) override;
  bool OnPageEnd() override;

  // After the last page: what waits is given on. False when the next sink
  // stopped, or with *error set when a waiting page was lost.
  bool Finish(std::string* error);
  // Why a page could not be kept, once OnPageStart has said false for it.
  const std::string& error() const { return error_; }

 private:
  struct Stored {
    long offset;
    int32_t width;
    int32_t height;
  };
  enum class Route { kSkip, kPass, kStore };

  bool Store(int32_t width, int32_t height);
  bool PlaySide(const std::vector<const Stored*>& side, bool last);
  bool Play(const Stored& page);
  bool Blank(int32_t width, int32_t height);

  PageOrder order_;
  int32_t cells_;
  bool stacked_;
  int32_t sides_per_sheet_;
  std::string scratch_;
  PbmSink& next_;
  bool reorders_;
  Route route_ = Route::kPass;
  uint32_t received_ = 0;  // pages begun
  std::FILE* file_ = nullptr;
  std::vector<Stored> stored_;  // waiting pages, in the order they came
  std::vector<uint8_t> packed_;
  std::size_t row_bytes_ = 0;
  int32_t last_width_ = 0;
  int32_t last_height_ = 0;
  std::string error_;
};

}  // namespace pclspool::rendering
