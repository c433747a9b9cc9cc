// Reads a stream of binary PBM images (P4), one per page, as Ghostscript's
// pbmraw device writes them, and hands each page on row by row. The stream
// is fed in chunks of any size; memory is one row, whatever the page count.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace pclspool::rendering {

class PbmSink {
 public:
  // A page of width x height pixels begins. False stops the stream.
  virtual bool OnPageStart(int32_t width, int32_t height) = 0;
  // One row: (width + 7) / 8 bytes, MSB first, 1 = black. Valid for the
  // call only.
  virtual void OnRow(const uint8_t* bits) = 0;
  // The page's last row has come. False stops the stream.
  virtual bool OnPageEnd() = 0;

 protected:
  ~PbmSink() = default;
};

class PbmStream {
 public:
  // The largest page side in pixels: a row is at most 4 KiB.
  static constexpr int32_t kMaxSide = 32767;

  explicit PbmStream(PbmSink& sink);

  // False once the stream is malformed (error() says how and where) or the
  // sink has stopped it (stopped() is then true); later calls do nothing.
  bool Feed(const uint8_t* data, std::size_t size);
  // The end of the stream: false when it ends inside a page or its header.
  bool Finish();

  const std::string& error() const { return error_; }
  bool stopped() const { return stopped_; }
  // Pages whose header has been read.
  uint32_t pages() const { return pages_; }

 private:
  enum class State : uint8_t {
    kMagic,        // expecting "P4", or the stream's end
    kMagic2,       // after "P"
    kSpace,        // white space or a comment before a number
    kComment,      // in a comment, up to the line's end
    kNumber,       // the width or the height
    kRows,         // row data
    kFailed,
  };

  bool Fail(const std::string& what);
  const uint8_t* Header(const uint8_t* p);
  const uint8_t* Rows(const uint8_t* p, const uint8_t* end);
  bool StartPage();
  bool EndRow(const uint8_t* row);

  PbmSink& sink_;
  State state_ = State::kMagic;
  int field_ = 0;         // 0 width, 1 height
  int64_t number_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t row_ = 0;
  std::size_t row_bytes_ = 0;
  std::unique_ptr<uint8_t[]> row_buf_;  // a row that spans chunks
  std::size_t row_fill_ = 0;
  uint32_t pages_ = 0;
  bool stopped_ = false;
  std::string error_;
};

}  // namespace pclspool::rendering
