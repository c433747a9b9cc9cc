#include "rendering/page_order.h"

#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <memory>

#include "pcl/pcl_raster.h"

namespace pclspool::rendering {

namespace {

using pcl::PclRasterWriter;

// Expands one PackBits row of `size` bytes; false when the data does not
// make exactly that many.
bool Unpack(const uint8_t* in, std::size_t length, uint8_t* out, std::size_t size) {
  std::size_t at = 0;
  for (std::size_t i = 0; i < length;) {
    const int n = static_cast<int8_t>(in[i++]);
    if (n >= 0) {
      const std::size_t count = static_cast<std::size_t>(n) + 1;
      if (i + count > length || at + count > size) return false;
      std::memcpy(out + at, in + i, count);
      i += count;
      at += count;
    } else if (n != -128) {
      const std::size_t count = static_cast<std::size_t>(1 - n);
      if (i >= length || at + count > size) return false;
      std::memset(out + at, in[i++], count);
      at += count;
    }
  }
  return at == size;
}

}  // namespace

PageOrder TurnedForReader(const PageOrder& reader) {
  PageOrder sheet = reader;
  sheet.columns_first = !reader.columns_first;
  sheet.bottom_to_top = !reader.right_to_left;
  sheet.right_to_left = reader.bottom_to_top;
  return sheet;
}

int32_t CellAt(const PageOrder& order, int32_t cells, bool stacked, int32_t position) {
  if (cells == 2) {
    const bool reversed = stacked ? order.bottom_to_top : order.right_to_left;
    return reversed ? 1 - position : position;
  }
  if (cells == 4) {
    int32_t column = order.columns_first ? position / 2 : position % 2;
    int32_t row = order.columns_first ? position % 2 : position / 2;
    if (order.right_to_left) column = 1 - column;
    if (order.bottom_to_top) row = 1 - row;
    return row * 2 + column;
  }
  return 0;
}

bool Reorders(const PageOrder& order, int32_t cells, bool stacked) {
  for (int32_t p = 0; p < cells; ++p) {
    if (CellAt(order, cells, stacked, p) != p) return true;
  }
  return false;
}

PageArranger::PageArranger(const PageOrder& order, int32_t cells, bool stacked,
                           int32_t sides_per_sheet, std::string scratch, PbmSink& next)
    : order_(order),
      cells_(cells < 1 ? 1 : cells),
      stacked_(stacked),
      sides_per_sheet_(sides_per_sheet < 1 ? 1 : sides_per_sheet),
      scratch_(std::move(scratch)),
      next_(next),
      reorders_(Reorders(order, cells_, stacked)) {}

PageArranger::~PageArranger() {
  if (file_) std::fclose(file_);
}

bool PageArranger::OnPageStart(int32_t width, int32_t height) {
  const uint32_t index = received_++;
  const uint32_t side = index / static_cast<uint32_t>(cells_);
  const bool kept = order_.sides == SideSet::kAll || (side % 2 == 0) == (order_.sides == SideSet::kOdd);
  last_width_ = width;
  last_height_ = height;
  if (!kept) {
    route_ = Route::kSkip;
    return true;
  }
  if (!order_.last_sheet_first && !reorders_) {
    route_ = Route::kPass;
    return next_.OnPageStart(width, height);
  }
  route_ = Route::kStore;
  return Store(width, height);
}

bool PageArranger::Store(int32_t width, int32_t height) {
  if (!file_) {
    std::string path = (scratch_.empty() ? std::string("/tmp") : scratch_) + "/pages.XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) {
      error_ = "cannot keep pages in " + path.substr(0, path.rfind('/')) + ": " + std::strerror(errno);
      return false;
    }
    ::unlink(path.c_str());  // gone with the descriptor, however the job ends
    file_ = ::fdopen(fd, "w+b");
    if (!file_) {
      ::close(fd);
      error_ = std::string("cannot keep pages: ") + std::strerror(errno);
      return false;
    }
  }
  if (std::fseek(file_, 0, SEEK_END) != 0) {
    error_ = std::string("cannot keep pages: ") + std::strerror(errno);
    return false;
  }
  stored_.push_back({std::ftell(file_), width, height});
  row_bytes_ = (static_cast<std::size_t>(width) + 7) / 8;
  packed_.resize(PclRasterWriter::PackBitsBound(row_bytes_) + 4);
  return true;
}

void PageArranger::OnRow(const uint8_t* bits) {
  if (route_ == Route::kPass) {
    next_.OnRow(bits);
  } else if (route_ == Route::kStore && error_.empty()) {
    const auto n =
        static_cast<uint32_t>(PclRasterWriter::PackBits(bits, row_bytes_, packed_.data() + 4));
    // The length before each row in the machine's own order: the file
    // never leaves the process that writes it.
    std::memcpy(packed_.data(), &n, 4);
    if (std::fwrite(packed_.data(), 1, n + 4, file_) != std::size_t{n} + 4) {
      error_ = std::string("cannot keep pages: ") + std::strerror(errno);
    }
  }
}

bool PageArranger::OnPageEnd() {
  switch (route_) {
    case Route::kSkip:
      return true;
    case Route::kPass:
      return next_.OnPageEnd();
    case Route::kStore:
      break;
  }
  if (!error_.empty()) return false;
  if (order_.last_sheet_first) return true;
  // A side filled out of reading order is given on once it is complete.
  if (stored_.size() < static_cast<std::size_t>(cells_)) return true;
  std::vector<const Stored*> side;
  for (const Stored& s : stored_) side.push_back(&s);
  const bool go = PlaySide(side, false);
  stored_.clear();
  // The next side's pages take the same room.
  if (std::fflush(file_) != 0 || ::ftruncate(::fileno(file_), 0) != 0) {
    error_ = std::string("cannot keep pages: ") + std::strerror(errno);
  }
  return go && error_.empty();
}

bool PageArranger::Finish(std::string* error) {
  bool go = true;
  if (!order_.last_sheet_first) {
    std::vector<const Stored*> side;
    for (const Stored& s : stored_) side.push_back(&s);
    if (!side.empty()) go = PlaySide(side, true);
  } else if (!stored_.empty()) {
    // Sides in the order they came, then sheets from the last to the first,
    // each sheet's sides in their own order.
    std::vector<std::vector<const Stored*>> sides;
    for (std::size_t i = 0; i < stored_.size(); ++i) {
      if (i % static_cast<std::size_t>(cells_) == 0) sides.emplace_back();
      sides.back().push_back(&stored_[i]);
    }
    const std::size_t per_sheet = static_cast<std::size_t>(sides_per_sheet_);
    const std::size_t sheets = (sides.size() + per_sheet - 1) / per_sheet;
    for (std::size_t sheet = sheets; go && sheet-- > 0;) {
      for (std::size_t k = 0; go && k < per_sheet; ++k) {
        const std::size_t at = sheet * per_sheet + k;
        const bool last = sheet == 0 && k + 1 == per_sheet;
        // The back of a last sheet with one side printed stays blank, so
        // that every sheet keeps its front and back.
        go = PlaySide(at < sides.size() ? sides[at] : std::vector<const Stored*>{}, last);
      }
    }
  }
  stored_.clear();
  if (!error_.empty()) *error = error_;
  return go && error_.empty();
}

bool PageArranger::PlaySide(const std::vector<const Stored*>& side, bool last) {
  int32_t last_cell = -1;  // the last cell with a page
  for (int32_t p = 0; p < static_cast<int32_t>(side.size()); ++p) {
    last_cell = std::max(last_cell, CellAt(order_, cells_, stacked_, p));
  }
  for (int32_t cell = 0; cell < cells_; ++cell) {
    if (last && cell > last_cell) break;
    const Stored* page = nullptr;
    for (int32_t p = 0; p < static_cast<int32_t>(side.size()); ++p) {
      if (CellAt(order_, cells_, stacked_, p) == cell) page = side[p];
    }
    if (!(page ? Play(*page) : Blank(last_width_, last_height_))) return false;
  }
  return true;
}

bool PageArranger::Blank(int32_t width, int32_t /*height*/) {
  // A page without rows: it takes its cell and prints nothing of its own.
  return next_.OnPageStart(width, 0) && next_.OnPageEnd();
}

bool PageArranger::Play(const Stored& page) {
  const std::size_t bytes = (static_cast<std::size_t>(page.width) + 7) / 8;
  std::unique_ptr<uint8_t[]> row(new uint8_t[bytes]);
  std::vector<uint8_t> packed(PclRasterWriter::PackBitsBound(bytes));
  if (std::fseek(file_, page.offset, SEEK_SET) != 0) {
    error_ = std::string("cannot read kept pages: ") + std::strerror(errno);
    return false;
  }
  if (!next_.OnPageStart(page.width, page.height)) return false;
  for (int32_t y = 0; y < page.height; ++y) {
    uint32_t n = 0;
    if (std::fread(&n, 1, 4, file_) != 4 || n > packed.size() ||
        std::fread(packed.data(), 1, n, file_) != n || !Unpack(packed.data(), n, row.get(), bytes)) {
      error_ = "cannot read kept pages: the scratch file is damaged";
      return false;
    }
    next_.OnRow(row.get());
  }
  return next_.OnPageEnd();
}

}  // namespace pclspool::rendering
