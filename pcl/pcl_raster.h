// A rendered page as PCL raster graphics: placed with a cursor move, each
// row compressed with TIFF PackBits (compression mode 2) or as its
// difference from the row before (delta row, mode 3), whichever is
// shorter, runs of white rows skipped with ESC * b # Y, and white bytes at
// the end of a row left out (the printer fills a short row with white).
// Only black pixels are painted: source transparency is left as the
// printer's default (transparent), so a page never covers what lies under
// its white parts.
//
// The writer is a pure transform with fixed buffers; every full output
// buffer, and what is left at the end of a page, goes to the sink.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

namespace pclspool::pcl {

// Where one page's raster goes, and which part of it.
struct RasterPlacement {
  int32_t x;             // PCL position of the first column sent: dots from x = 0
  int32_t y;             // dots from the top of the paper (top margin 0)
  int32_t skipColumns;   // raster columns left out on the left
  int32_t columns;       // raster columns sent, from skipColumns on
  int32_t rows;          // raster rows sent, from the first
};

class ByteSink {
 public:
  virtual void Put(const uint8_t* data, std::size_t size) = 0;

 protected:
  ~ByteSink() = default;
};

class PclRasterWriter {
 public:
  // The widest row, in pixels: PCL's raster width and byte counts are
  // 15-bit values.
  static constexpr int32_t kMaxColumns = 32767;
  // Output is handed on in pieces of this size, large enough that the
  // printer takes each in one write of its own.
  static constexpr std::size_t kBufferBytes = 256 * 1024;

  explicit PclRasterWriter(ByteSink& sink);

  // Starts a page's raster at `resolution` dots per inch. Its rows, as
  // Row() receives them, are `rowColumns` pixels wide, with skipColumns +
  // columns <= rowColumns <= kMaxColumns; nothing is sent for a placement
  // without columns or rows.
  void Begin(const RasterPlacement& placement, int32_t resolution, int32_t rowColumns);
  // One row of the page, (rowColumns + 7) / 8 bytes, MSB first, 1 = black.
  // Rows past placement.rows are ignored.
  void Row(const uint8_t* bits);
  // Ends the raster and hands everything written on to the sink.
  void End();

  // Encodes `size` bytes with TIFF PackBits into out, which has room for
  // PackBitsBound(size) bytes; returns the encoded length. Encoding stops
  // early, returning a value above `limit`, once the result would be
  // longer than that.
  static std::size_t PackBits(const uint8_t* in, std::size_t size, uint8_t* out,
                              std::size_t limit = SIZE_MAX);
  static constexpr std::size_t PackBitsBound(std::size_t size) { return size + (size + 127) / 128; }
  // Encodes row as its difference from seed (both `size` bytes) in delta
  // row form into out, which has room for DeltaRowBound(size) bytes;
  // returns the encoded length, 0 for a row equal to its seed.
  static std::size_t DeltaRow(const uint8_t* row, const uint8_t* seed, std::size_t size,
                              uint8_t* out);
  static constexpr std::size_t DeltaRowBound(std::size_t size) { return 2 * size + 8; }

 private:
  void Command(char group, int64_t value, char final_char);
  void Append(const void* data, std::size_t size);
  void Reserve(std::size_t size);
  void Flush();

  ByteSink& sink_;
  std::unique_ptr<uint8_t[]> buffer_;
  std::size_t used_ = 0;
  std::unique_ptr<uint8_t[]> shifted_;  // a row moved to start at a byte
  std::unique_ptr<uint8_t[]> packed_;   // a row in mode 2
  std::unique_ptr<uint8_t[]> delta_;    // a row in mode 3
  std::unique_ptr<uint8_t[]> seed_;     // the row before, as the printer has it
  int mode_ = 0;                        // the compression mode in force
  RasterPlacement placement_{};
  std::size_t row_bytes_ = 0;           // of the rows Row() receives
  bool open_ = false;                   // a raster was started
  int32_t row_ = 0;
  int32_t pending_white_ = 0;  // white rows not yet skipped
};

}  // namespace pclspool::pcl
