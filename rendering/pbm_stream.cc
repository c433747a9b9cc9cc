#include "rendering/pbm_stream.h"

#include <algorithm>
#include <cstring>

namespace pclspool::rendering {

namespace {

bool IsSpace(uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(uint8_t c) { return c >= '0' && c <= '9'; }

constexpr std::size_t kMaxRowBytes = (PbmStream::kMaxSide + 7) / 8;

}  // namespace

PbmStream::PbmStream(PbmSink& sink) : sink_(sink), row_buf_(new uint8_t[kMaxRowBytes]) {}

bool PbmStream::Fail(const std::string& what) {
  error_ = "page " + std::to_string(state_ == State::kRows ? pages_ : pages_ + 1) + ": " + what;
  state_ = State::kFailed;
  return false;
}

bool PbmStream::Feed(const uint8_t* data, std::size_t size) {
  if (state_ == State::kFailed || stopped_) return false;
  const uint8_t* p = data;
  const uint8_t* end = data + size;
  while (p && p < end) p = state_ == State::kRows ? Rows(p, end) : Header(p);
  return p != nullptr;
}

bool PbmStream::Finish() {
  if (state_ == State::kFailed || stopped_) return false;
  if (state_ == State::kMagic) return true;
  return Fail(state_ == State::kRows
                  ? "the page stream ends after " + std::to_string(row_) + " of " +
                        std::to_string(height_) + " rows"
                  : "the page stream ends inside a page header");
}

// One step of the header: "P4", white space and comments, the width, the
// height, and the single white-space character before the rows.
const uint8_t* PbmStream::Header(const uint8_t* p) {
  const uint8_t c = *p;
  switch (state_) {
    case State::kMagic:
      if (c != 'P') return Fail("not a PBM image (no \"P4\")"), nullptr;
      state_ = State::kMagic2;
      return p + 1;
    case State::kMagic2:
      if (c != '4') return Fail("not a binary PBM image (no \"P4\")"), nullptr;
      state_ = State::kSpace;
      field_ = 0;
      return p + 1;
    case State::kComment:
      if (c == '\n' || c == '\r') state_ = State::kSpace;
      return p + 1;
    case State::kSpace:
      if (c == '#') {
        state_ = State::kComment;
        return p + 1;
      }
      if (IsSpace(c)) return p + 1;
      if (!IsDigit(c)) return Fail("a bad character in the PBM header"), nullptr;
      state_ = State::kNumber;
      number_ = 0;
      return p;
    case State::kNumber:
      if (IsDigit(c)) {
        number_ = number_ * 10 + (c - '0');
        if (number_ > kMaxSide)
          return Fail("a page side above " + std::to_string(kMaxSide) + " pixels"), nullptr;
        return p + 1;
      }
      if (!IsSpace(c) && c != '#') return Fail("a bad character in the PBM header"), nullptr;
      if (number_ < 1) return Fail("a page without pixels"), nullptr;
      if (field_ == 0) {
        width_ = static_cast<int32_t>(number_);
        field_ = 1;
        state_ = State::kSpace;
        return p;
      }
      height_ = static_cast<int32_t>(number_);
      // Exactly one white-space character ends the header; a comment here
      // would be image data.
      if (c == '#') return Fail("a comment where the rows begin"), nullptr;
      return StartPage() ? p + 1 : nullptr;
    case State::kRows:
    case State::kFailed:
      break;
  }
  return nullptr;
}

bool PbmStream::StartPage() {
  ++pages_;
  row_ = 0;
  row_fill_ = 0;
  row_bytes_ = (static_cast<std::size_t>(width_) + 7) / 8;
  state_ = State::kRows;
  if (!sink_.OnPageStart(width_, height_)) {
    stopped_ = true;
    return false;
  }
  return true;
}

const uint8_t* PbmStream::Rows(const uint8_t* p, const uint8_t* end) {
  // Whole rows straight from the chunk; a row cut by the chunk's end is
  // gathered in row_buf_.
  if (row_fill_ > 0) {
    const std::size_t take = std::min<std::size_t>(row_bytes_ - row_fill_, end - p);
    std::memcpy(row_buf_.get() + row_fill_, p, take);
    row_fill_ += take;
    p += take;
    if (row_fill_ < row_bytes_) return p;
    row_fill_ = 0;
    if (!EndRow(row_buf_.get())) return nullptr;
    if (state_ != State::kRows) return p;
  }
  while (static_cast<std::size_t>(end - p) >= row_bytes_) {
    const uint8_t* row = p;
    p += row_bytes_;
    if (!EndRow(row)) return nullptr;
    if (state_ != State::kRows) return p;
  }
  if (p < end) {
    row_fill_ = static_cast<std::size_t>(end - p);
    std::memcpy(row_buf_.get(), p, row_fill_);
    p = end;
  }
  return p;
}

bool PbmStream::EndRow(const uint8_t* row) {
  sink_.OnRow(row);
  if (++row_ < height_) return true;
  state_ = State::kMagic;
  if (!sink_.OnPageEnd()) {
    stopped_ = true;
    return false;
  }
  return true;
}

}  // namespace pclspool::rendering
