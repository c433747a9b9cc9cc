// Pass-through: DrvSplWritePrinter of 64 KiB buffers in a plain one-up job,
// against writing the same buffers to the same sink directly. The sinks:
// /dev/null, which costs nothing and so shows every nanosecond the module
// adds, and a 64 MiB file in memory, written over and over, where each write
// copies its bytes as a write to a spool file does.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/host.h"
#include "benchmarks.h"
#include "pclspool/pclspool.h"
#include "platform/posix/posix_platform.h"

namespace pclspool::bench {

namespace {

constexpr std::size_t kBufferBytes = 64 * 1024;
const HANDLE kPrinter = reinterpret_cast<HANDLE>(uintptr_t{0x7001});

// Raster-like bytes: a buffer that opens with no PJL line.
std::vector<uint8_t> StreamBuffer() {
  std::vector<uint8_t> buf(kBufferBytes);
  uint32_t x = 12345;
  for (uint8_t& b : buf) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  buf[0] = 0x1B;
  return buf;
}

constexpr int64_t kFileBuffers = 1024;  // 64 MiB, then back to the start

enum Sink { kDevNull, kFile };

// The file sink: a 64 MiB file in memory (/dev/shm, else the scratch
// directory), removed at once and filled before the timing, so that every
// timed write copies into pages the file already has and no disk or
// writeback adds its noise.
int OpenSink(Sink sink) {
  if (sink == kDevNull) return ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  struct stat st {};
  const bool shm =
      ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && ::access("/dev/shm", W_OK) == 0;
  std::string path = (shm ? std::string("/dev/shm") : ScratchDir()) + "/pclspool-sink.XXXXXX";
  const int fd = ::mkstemp(path.data());
  if (fd < 0) return -1;
  ::unlink(path.c_str());
  const std::vector<uint8_t> zeros(kBufferBytes, 0);
  for (int64_t i = 0; i < kFileBuffers; ++i) {
    if (::write(fd, zeros.data(), zeros.size()) != static_cast<ssize_t>(zeros.size())) {
      ::close(fd);
      return -1;
    }
  }
  ::lseek(fd, 0, SEEK_SET);
  return fd;
}

// A file sink goes back to its start every kFileBuffers writes, outside
// the timing; /dev/null needs nothing.
void Rewind(benchmark::State& state, Sink sink, int fd, int64_t* count) {
  if (sink != kFile || ++*count % kFileBuffers != 0) return;
  state.PauseTiming();
  ::lseek(fd, 0, SEEK_SET);
  state.ResumeTiming();
}

void Module(benchmark::State& state, Sink sink) {
  const std::vector<uint8_t> buf = StreamBuffer();
  posix::PosixPlatform& px = posix::Posix();
  // A settings file with nothing in it: a plain one-up job.
  const std::string ini = ScratchDir() + "/plain.INI";
  const int fd = OpenSink(sink);
  if (fd < 0 || !WriteTextFile(ini, "[SETTING]\n")) {
    state.SkipWithError("no sink or scratch directory");
    if (fd >= 0) ::close(fd);
    return;
  }
  px.profile.SetFilePath(ini);
  posix::PrinterSetup setup = host::DriverPrinter();
  setup.fd = fd;
  px.spooler.AddPrinter(kPrinter, setup);
  void* job = DrvSplStartDoc(kPrinter, 1);
  DrvSplStartPage(job);
  auto* bytes = const_cast<uint8_t*>(buf.data());
  int64_t count = 0;
  for (auto _ : state) {
    PCLSPOOL_DWORD written = 0;
    if (!DrvSplWritePrinter(job, bytes, kBufferBytes, &written)) {
      state.SkipWithError("DrvSplWritePrinter failed");
      break;
    }
    Rewind(state, sink, fd, &count);
  }
  DrvSplEndPage(job);
  DrvSplEndDoc(job);
  DrvSplClose(job);
  px.spooler.RemovePrinter(kPrinter);
  ::close(fd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBufferBytes));
}

void Direct(benchmark::State& state, Sink sink) {
  const std::vector<uint8_t> buf = StreamBuffer();
  const int fd = OpenSink(sink);
  if (fd < 0) {
    state.SkipWithError("no sink");
    return;
  }
  int64_t count = 0;
  for (auto _ : state) {
    if (::write(fd, buf.data(), kBufferBytes) != static_cast<ssize_t>(kBufferBytes)) {
      state.SkipWithError("write failed");
      break;
    }
    Rewind(state, sink, fd, &count);
  }
  ::close(fd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kBufferBytes));
}

}  // namespace

void RegisterPassthroughBenchmarks() {
  benchmark::RegisterBenchmark("passthrough/devnull/ours", Module, kDevNull);
  benchmark::RegisterBenchmark("passthrough/devnull/baseline", Direct, kDevNull);
  benchmark::RegisterBenchmark("passthrough/file/ours", Module, kFile);
  benchmark::RegisterBenchmark("passthrough/file/baseline", Direct, kFile);
}

}  // namespace pclspool::bench
