// The command's PCL page scanner on arbitrary jobs. Beyond not crashing:
// the events follow their grammar, no data event exceeds its bound, the
// event bytes (one 0x0C for each page that a form feed ended) give back the
// job exactly, and where the chunks are cut never changes the split.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "pcl/pcl_scanner.h"

namespace {

using pclspool::pcl::PclEvent;
using pclspool::pcl::PclEventKind;
using pclspool::pcl::PclEventSink;
using pclspool::pcl::PclScanner;

struct Event {
  PclEventKind kind;
  std::string bytes;
  bool form_feed;
  bool operator==(const Event&) const = default;
};

// Records the events and checks their order as they come:
//   kHeader* ( kPageData* kPageEnd )* kTrailer?
// A page that no form feed ended is the last, or the next segment begins
// with the escape sequence that ejects it.
class Recorder final : public PclEventSink {
 public:
  void OnPclEvent(const PclEvent& e) override {
    FUZZ_CHECK(!finished_);
    if (e.kind == PclEventKind::kPageEnd) {
      FUZZ_CHECK(e.data == nullptr && e.size == 0);
    } else {
      FUZZ_CHECK(e.data != nullptr && e.size > 0 && e.size <= PclScanner::kMaxEventBytes);
    }
    switch (e.kind) {
      case PclEventKind::kHeader:
        FUZZ_CHECK(stage_ == Stage::kHeader);
        break;
      case PclEventKind::kPageData:
        FUZZ_CHECK(stage_ != Stage::kTrailer);
        FUZZ_CHECK(!ended_unfed_ || e.data[0] == 0x1B);
        ended_unfed_ = false;
        stage_ = Stage::kPage;
        break;
      case PclEventKind::kPageEnd:
        FUZZ_CHECK(stage_ != Stage::kTrailer);
        FUZZ_CHECK(!ended_unfed_);
        ended_unfed_ = !e.form_feed;
        stage_ = Stage::kBetween;
        break;
      case PclEventKind::kTrailer:
        FUZZ_CHECK(stage_ != Stage::kPage);
        FUZZ_CHECK(!ended_unfed_ || e.data[0] == 0x1B);
        ended_unfed_ = false;
        stage_ = Stage::kTrailer;
        break;
    }
    const std::string bytes =
        e.data ? std::string(reinterpret_cast<const char*>(e.data), e.size) : std::string();
    // Page data cut differently is the same page data.
    if ((e.kind == PclEventKind::kPageData || e.kind == PclEventKind::kTrailer) &&
        !events.empty() && events.back().kind == e.kind) {
      events.back().bytes += bytes;
    } else {
      events.push_back({e.kind, bytes, e.form_feed});
    }
  }
  void Finished() {
    // A page still open at the end must have been completed by Finish.
    FUZZ_CHECK(stage_ != Stage::kPage);
    finished_ = true;
  }

  std::vector<Event> events;

 private:
  enum class Stage { kHeader, kPage, kBetween, kTrailer };
  Stage stage_ = Stage::kHeader;
  bool ended_unfed_ = false;
  bool finished_ = false;
};

std::string Rebuild(const std::vector<Event>& events) {
  std::string out;
  for (const Event& e : events) {
    out += e.bytes;
    if (e.kind == PclEventKind::kPageEnd && e.form_feed) out += '\x0C';
  }
  return out;
}

// Scans the job in chunks of the sizes given, repeated; no sizes: one Feed.
std::vector<Event> Scan(const uint8_t* data, std::size_t size,
                        const std::vector<std::size_t>& chunks) {
  Recorder rec;
  PclScanner scanner(rec);
  std::size_t at = 0;
  for (std::size_t i = 0; at < size; ++i) {
    const std::size_t n = chunks.empty() ? size : std::min(chunks[i % chunks.size()], size - at);
    scanner.Feed(data + at, n);
    at += n;
  }
  scanner.Feed(data + at, 0);  // an empty chunk changes nothing
  scanner.Finish();
  rec.Finished();
  return rec.events;
}

// Chunk sizes taken from the job itself, so that the fuzzer steers them:
// cuts land inside escape sequences, byte counts and PJL lines.
std::vector<std::size_t> ChunksOf(const uint8_t* data, std::size_t size) {
  std::vector<std::size_t> chunks;
  for (std::size_t i = 0; i < size && chunks.size() < 64; i += 7) chunks.push_back(data[i] % 13 + 1);
  return chunks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);

  const std::vector<Event> whole = Scan(data, size, {});
  FUZZ_CHECK(Rebuild(whole) == input);

  const std::vector<Event> chunked = Scan(data, size, ChunksOf(data, size));
  FUZZ_CHECK(Rebuild(chunked) == input);
  FUZZ_CHECK(chunked == whole);

  if (size <= 4096) {
    const std::vector<Event> bytewise = Scan(data, size, {1});
    FUZZ_CHECK(bytewise == whole);
  }
  return 0;
}
