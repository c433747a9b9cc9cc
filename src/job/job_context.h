// The per-job record: created by DrvSplStartDoc, handed to every other hook,
// freed by DrvSplClose.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "platform/win_types.h"

namespace pclspool {

// The 58-byte driver-private block that follows the job's DEVMODEW. Its
// layout is shared with the driver's other parts; values are little-endian
// at fixed offsets, so it is kept as bytes and read through the accessors.
struct DriverExtra {
  uint8_t bytes[58];
};
static_assert(sizeof(DriverExtra) == 58);

namespace extra {
inline constexpr std::size_t kPaperMedia = 4;       // 16-bit, carried
inline constexpr std::size_t kNup = 18;             // kNupOneUp, kNupTwoUp, kNupFourUp
inline constexpr std::size_t kWaterIdx = 20;        // 1-based watermark text, 0 none
inline constexpr std::size_t kOptionCassette = 28;  // 16-bit, carried
inline constexpr std::size_t kTonerSave = 30;       // 16-bit, carried
inline constexpr std::size_t kPageProtect = 34;     // 8-bit, carried
inline constexpr std::size_t kTTRaster = 35;        // 8-bit, carried
inline constexpr std::size_t kZoomIndex = 36;       // zoom table entry, 0 none
inline constexpr std::size_t kFinisherUnit = 42;    // 32-bit
inline constexpr std::size_t kDuplexUnit = 46;      // 32-bit, carried
inline constexpr std::size_t kGroupSort = 50;       // collated copies asked for
inline constexpr std::size_t kStaple = 52;          // 16-bit, carried
inline constexpr std::size_t kDuplex = 54;          // 16-bit, carried
inline constexpr std::size_t kStyple = 56;          // booklet style

inline uint16_t U16(const DriverExtra& e, std::size_t off) {
  return static_cast<uint16_t>(e.bytes[off] | (e.bytes[off + 1] << 8));
}
inline uint32_t U32(const DriverExtra& e, std::size_t off) {
  return static_cast<uint32_t>(e.bytes[off]) | (static_cast<uint32_t>(e.bytes[off + 1]) << 8) |
         (static_cast<uint32_t>(e.bytes[off + 2]) << 16) |
         (static_cast<uint32_t>(e.bytes[off + 3]) << 24);
}
inline void SetU8(DriverExtra& e, std::size_t off, uint32_t v) {
  e.bytes[off] = static_cast<uint8_t>(v);
}
inline void SetU16(DriverExtra& e, std::size_t off, uint32_t v) {
  e.bytes[off] = static_cast<uint8_t>(v);
  e.bytes[off + 1] = static_cast<uint8_t>(v >> 8);
}
inline void SetU32(DriverExtra& e, std::size_t off, uint32_t v) {
  for (int i = 0; i < 4; ++i) e.bytes[off + i] = static_cast<uint8_t>(v >> (8 * i));
}
}  // namespace extra

inline constexpr uint32_t kJobSignature = 0x44525347;
inline constexpr uint32_t kStateCreated = 1;
inline constexpr uint32_t kStateEndDoc = 2;
inline constexpr uint32_t kStateAborted = 4;

struct JobContext {
  uint32_t dwSignature;
  HANDLE hPrinter;
  HANDLE hPageFile;  // InvalidHandleValue() when no page file is open
  uint32_t dwJobId;
  uint32_t dwState;
  int32_t cWrites;
  uint32_t cPages;
  int32_t cEndPages;
  int32_t cCount;
  DEVMODEW dm;
  DriverExtra extra;  // directly behind dm: the two are copied as one block
  int32_t lXDim;
  int32_t lYDim;
  int32_t lWaterX;
  int32_t lWaterY;
  int32_t bFontDownloaded;
  // Added behind the fields above, which keep their order: the job's own
  // watermark state (watermark/watermark_state.h), made at its first
  // set-up and freed by DrvSplClose; null until then.
  void* pWatermark;
  // The stored page whose page file is open (hPageFile), and whether that
  // page is lost: its file could not be created, or a write to it failed
  // or came up short. A lost page is left out of the replays whole.
  uint32_t dwPageFileOf;
  int32_t bPageLost;
  // The stored page whose file carries the soft font (0: none), so that
  // the next page downloads the font again when that page is lost.
  uint32_t dwFontPage;
};
static_assert(offsetof(JobContext, extra) == offsetof(JobContext, dm) + sizeof(DEVMODEW));

// The job's DEVMODEW and DriverExtra as one block.
inline constexpr std::size_t kDevmodeBlockSize = sizeof(DEVMODEW) + sizeof(DriverExtra);
static_assert(kDevmodeBlockSize == 278);
using DevmodeBlock = std::array<uint8_t, kDevmodeBlockSize>;

// What the settings' values mean.
inline constexpr int16_t kOrientationPortrait = 1;   // dmOrientation
inline constexpr int16_t kOrientationLandscape = 2;  // every value but 2 is portrait
inline constexpr int16_t kBookletBit = 0x0400;       // in dmPaperSize: a booklet job
inline constexpr uint16_t kNupOneUp = 0;             // DriverExtra's n-up
inline constexpr uint16_t kNupTwoUp = 1;
inline constexpr uint16_t kNupFourUp = 2;
inline constexpr int16_t kMaxCopies = 99;            // dmCopies stops there

inline uint16_t WaterIdx(const JobContext& c) { return extra::U16(c.extra, extra::kWaterIdx); }
inline uint16_t Nup(const JobContext& c) { return extra::U16(c.extra, extra::kNup); }
inline uint16_t ZoomIndex(const JobContext& c) { return extra::U16(c.extra, extra::kZoomIndex); }
inline uint16_t Styple(const JobContext& c) { return extra::U16(c.extra, extra::kStyple); }
inline bool IsLandscape(const JobContext& c) { return c.dm.dmOrientation == kOrientationLandscape; }

}  // namespace pclspool
