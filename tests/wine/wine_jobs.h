// The jobs the Wine test prints, the same for the DLL under Wine and for
// the POSIX command that makes the reference output.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pclspool::wine {

struct Job {
  std::string name{};
  std::string ini{};                 // OrvWater.INI for the job
  std::vector<std::string> pages{};  // each page's stream, one WritePrinter buffer
  // The printer is opened with a device mode carrying this waterIdx; when
  // false it is opened without one, and the job has no device mode.
  bool job_devmode = true;
  uint16_t water_idx = 0;
  bool stores_pages = false;              // booklet or group sort: page files
  std::vector<uint32_t> failing_pages{};  // page files that cannot be created
  bool watermark = false;                 // glyph bytes come from the rasteriser
  // Expected output when the test computes it; empty: the reference file.
  std::string expected{};
};

// waterIdx of the printer's own device mode (AddPrinterW): a job that got
// the printer's device mode instead of its own would draw this text.
inline constexpr uint16_t kPrinterWaterIdx = 1;

std::vector<Job> Jobs();

}  // namespace pclspool::wine
