// The watermark set-up: a one-page job with a 20-character watermark, whose
// first (and only) page renders every distinct glyph, compresses it and
// downloads it as the soft font. The time is that of the whole page, which
// the set-up dominates; the printer is /dev/null.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "host/host.h"
#include "benchmarks.h"
#include "glyph_set.h"
#include "job/job_context.h"
#include "pclspool/pclspool.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/utf.h"

namespace pclspool::bench {

namespace {

const HANDLE kPrinter = reinterpret_cast<HANDLE>(uintptr_t{0x7002});

// The settings of one job: A4 at dpi, the text in the sample's style (bold,
// 96 pixels, 45 degrees, centred) in the given face.
std::string WatermarkIni(int dpi, const std::string& face) {
  const std::string text = posix::Utf16ToUtf8(kWatermarkText);
  const int width = 4960 * dpi / 600;
  const int height = 7014 * dpi / 600;
  return "[SETTING]\nYRESOLUTION=" + std::to_string(dpi) +
         "\nPAPER CODE=9\nXDIMENSION=" + std::to_string(width) +
         "\nYDIMENSION=" + std::to_string(height) + "\n[StringSummary]\n" + text + "=1\n[" + text +
         "]\nFaceName=" + face +
         "\nHeight=-96\nEscapement=450\nOrientation=450\nWidth=0\nWeight=700\nDark=2\n"
         "CenterToPage=1\n";
}

void FirstPage(benchmark::State& state, int dpi, bool fontconfig) {
  posix::PosixPlatform& px = posix::Posix();
  // "Arial" is pinned to the test font; the other face is found by
  // fontconfig at every font creation, as a job without --font finds it.
  px.text.MapFace(u"Arial", TestFontPath());
  const std::string ini = ScratchDir() + "/watermark" + std::to_string(dpi) + ".INI";
  const int fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (fd < 0 || !WriteTextFile(ini, WatermarkIni(dpi, fontconfig ? "Liberation Sans" : "Arial"))) {
    state.SkipWithError("no /dev/null or scratch directory");
    if (fd >= 0) ::close(fd);
    return;
  }
  px.profile.SetFilePath(ini);
  posix::PrinterSetup setup = host::DriverPrinter();
  setup.fd = fd;
  setup.job_devmode[sizeof(DEVMODEW) + extra::kWaterIdx] = 1;  // the first text
  px.spooler.AddPrinter(kPrinter, setup);

  static const char kPage[] = "\x1B*p0x0Y";
  for (auto _ : state) {
    void* job = DrvSplStartDoc(kPrinter, 1);
    DrvSplStartPage(job);
    DrvSplWritePrinter(job, const_cast<char*>(kPage), sizeof(kPage) - 1, nullptr);
    DrvSplEndPage(job);
    DrvSplEndDoc(job);
    DrvSplClose(job);
  }
  px.spooler.RemovePrinter(kPrinter);
  ::close(fd);
}

}  // namespace

void RegisterWatermarkBenchmarks() {
  for (int dpi : {600, 1200}) {
    const std::string dots = std::to_string(dpi);
    benchmark::RegisterBenchmark(("watermark/setup" + dots + "/ours").c_str(), FirstPage, dpi,
                                 false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark(("watermark/setup" + dots + "-fontconfig/ours").c_str(), FirstPage,
                                 dpi, true)
        ->Unit(benchmark::kMillisecond);
  }
}

}  // namespace pclspool::bench
