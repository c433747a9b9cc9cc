// The rendering side's reader of Ghostscript's page stream (a run of
// binary PBM images, rendering/pbm_stream) on arbitrary bytes. Beyond not
// crashing: pages arrive as start, exactly `height` rows, end, with sides
// within the limit; where the chunks are cut (whole, in chunks the input
// chooses, byte by byte) never changes the pages, their rows, the error or
// the end; a sink that stops the stream hears nothing more after it.
//
// Input: one byte that seeds the chunk sizes, one byte that says after how
// many page starts and ends the sink stops (0: never), then the stream.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "rendering/pbm_stream.h"

namespace {

using pclspool::rendering::PbmSink;
using pclspool::rendering::PbmStream;

// What the stream told the sink, row bytes folded into one hash a page.
class Recorder final : public PbmSink {
 public:
  explicit Recorder(int stop_after) : stop_after_(stop_after) {}

  bool OnPageStart(int32_t width, int32_t height) override {
    FUZZ_CHECK(!stopped_ && !in_page_);
    FUZZ_CHECK(width >= 1 && width <= PbmStream::kMaxSide);
    FUZZ_CHECK(height >= 1 && height <= PbmStream::kMaxSide);
    in_page_ = true;
    width_ = width;
    height_ = height;
    rows_ = 0;
    hash_ = 14695981039346656037u;
    log_.push_back("start " + std::to_string(width) + "x" + std::to_string(height));
    return Go();
  }
  void OnRow(const uint8_t* bits) override {
    FUZZ_CHECK(!stopped_ && in_page_ && rows_ < height_);
    ++rows_;
    for (std::size_t i = 0; i < (static_cast<std::size_t>(width_) + 7) / 8; ++i)
      hash_ = (hash_ ^ bits[i]) * 1099511628211u;
  }
  bool OnPageEnd() override {
    FUZZ_CHECK(!stopped_ && in_page_ && rows_ == height_);
    in_page_ = false;
    log_.push_back("end " + std::to_string(hash_));
    return Go();
  }

  const std::vector<std::string>& log() const { return log_; }
  bool stopped() const { return stopped_; }

 private:
  bool Go() {
    if (stop_after_ > 0 && ++events_ == stop_after_) stopped_ = true;
    return !stopped_;
  }

  int stop_after_;
  int events_ = 0;
  bool stopped_ = false;
  bool in_page_ = false;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t rows_ = 0;
  uint64_t hash_ = 0;
  std::vector<std::string> log_;
};

struct Outcome {
  std::vector<std::string> log;
  bool fed = false;       // every Feed returned true
  bool finished = false;  // Finish returned true
  bool stopped = false;
  std::string error;
  uint32_t pages = 0;
  bool operator==(const Outcome&) const = default;
};

// Feeds the stream in chunks of the sizes `next` gives (0: the rest).
template <typename Next>
Outcome Run(const uint8_t* data, std::size_t size, int stop_after, Next next) {
  Recorder sink(stop_after);
  PbmStream stream(sink);
  Outcome o;
  o.fed = true;
  for (std::size_t at = 0; at < size;) {
    std::size_t n = next();
    n = n == 0 ? size - at : std::min(n, size - at);
    const bool ok = stream.Feed(data + at, n);
    at += n;
    if (!ok) {
      // Once false, always false, and the sink hears nothing more.
      o.fed = false;
      const std::size_t heard = sink.log().size();
      FUZZ_CHECK(!stream.Feed(data, size));
      FUZZ_CHECK(sink.log().size() == heard);
      break;
    }
  }
  o.finished = stream.Finish();
  o.stopped = stream.stopped();
  FUZZ_CHECK(o.stopped == sink.stopped());
  FUZZ_CHECK(o.fed || o.stopped || !stream.error().empty());
  FUZZ_CHECK(!o.finished || (o.fed && stream.error().empty()));
  o.error = stream.error();
  o.pages = stream.pages();
  o.log = sink.log();
  return o;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  uint32_t seed = data[0];
  const int stop_after = data[1];
  data += 2;
  size -= 2;

  const Outcome whole = Run(data, size, stop_after, [] { return std::size_t{0}; });
  // A page header is counted as it ends, so pages() is the page starts.
  const auto starts = std::count_if(whole.log.begin(), whole.log.end(),
                                    [](const std::string& e) { return e.rfind("start", 0) == 0; });
  FUZZ_CHECK(whole.pages == static_cast<uint32_t>(starts));

  const Outcome chunked = Run(data, size, stop_after, [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<std::size_t>(1 + (seed >> 16) % 97);
  });
  FUZZ_CHECK(chunked == whole);
  const Outcome bytes = Run(data, size, stop_after, [] { return std::size_t{1}; });
  FUZZ_CHECK(bytes == whole);
  return 0;
}
