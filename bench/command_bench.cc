#include "command_bench.h"

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "support/child_process.h"

namespace pclspool::bench {

namespace {

// A4 at 600 dpi: 4960 pixels (620 bytes) by 7014 rows.
constexpr int kRowBytes = 620;
constexpr int kRows = 7014;

void Append(std::vector<uint8_t>& out, const char* text) {
  out.insert(out.end(), text, text + std::strlen(text));
}

// One page: raster graphics at 600 dpi, every row sent as ESC * b 620 W and
// 620 bytes of data; the data is pseudo-random, so it holds form feeds and
// escape bytes that only the byte count tells from commands.
std::vector<uint8_t> RasterPage(uint32_t seed) {
  std::vector<uint8_t> page;
  page.reserve(static_cast<std::size_t>(kRows) * (kRowBytes + 8) + 64);
  Append(page, "\x1B&l26A\x1B*t600R\x1B*p0x0Y\x1B*r4960S\x1B*r1A");
  const std::string row_command = "\x1B*b" + std::to_string(kRowBytes) + "W";
  uint32_t x = seed;
  for (int r = 0; r < kRows; ++r) {
    Append(page, row_command.c_str());
    for (int i = 0; i < kRowBytes; ++i) {
      x = x * 1664525u + 1013904223u;
      page.push_back(static_cast<uint8_t>(x >> 24));
    }
  }
  Append(page, "\x1B*rC\f");
  return page;
}

bool WriteAllTo(int fd, const void* data, std::size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

double Now() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// A run of the largest job takes seconds; one that takes this long hangs.
constexpr std::chrono::minutes kRunLimit{10};

// Wall time of one run writing to output, or a negative value on failure.
// The output is emptied before the clock starts: freeing the last run's
// bytes is not this run's work.
double TimeRun(const std::vector<std::string>& args, const std::string& output,
               std::string* error) {
  const int fd = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = output + ": " + std::strerror(errno);
    return -1;
  }
  ::close(fd);
  const double start = Now();
  const testing::ProgramRun run = testing::RunProgram(
      {.argv = args, .out = testing::Output::File(output), .time_limit = kRunLimit});
  const double end = Now();
  if (!run.Ok()) *error = run.Describe(args[0]);
  return run.Ok() ? end - start : -1;
}

// The bytes args writes to its standard output, read through a pipe.
uint64_t CountOutput(const std::vector<std::string>& args, std::string* error) {
  testing::ChildProcess child({.argv = args, .out = testing::Output::Pipe()});
  uint64_t total = 0;
  std::vector<uint8_t> buf(1 << 20);
  for (;;) {
    const ssize_t n = ::read(child.out(), buf.data(), buf.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    total += static_cast<uint64_t>(n);
  }
  const testing::ProgramRun run = child.Wait(kRunLimit);
  if (!run.Ok()) {
    *error = run.Describe(args[0]) + " while its output was counted";
    return 0;
  }
  return total;
}

uint64_t FileSize(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const off_t size = ::lseek(fd, 0, SEEK_END);
  ::close(fd);
  return size > 0 ? static_cast<uint64_t>(size) : 0;
}

}  // namespace

CommandResult CompareCommands(const CommandOptions& o, const std::string& name,
                              const std::vector<std::string>& ours,
                              const std::vector<std::string>& baseline, const std::string& job) {
  CommandResult r;
  r.name = name;
  r.input_bytes = FileSize(job);
  r.ours_output_bytes = CountOutput(ours, &r.error);
  if (r.ours_output_bytes == 0) {
    if (r.error.empty()) r.error = "the command wrote nothing";
    return r;
  }
  // One untimed run of each first: the job in the page cache, the binaries
  // loaded.
  if (TimeRun(ours, o.output, &r.error) < 0 || TimeRun(baseline, o.output, &r.error) < 0) return r;
  r.ours_seconds = r.baseline_seconds = 1e30;
  for (int i = 0; i < std::max(1, o.runs); ++i) {
    const double a = TimeRun(ours, o.output, &r.error);
    const double b = TimeRun(baseline, o.output, &r.error);
    if (a < 0 || b < 0) return r;
    r.ours_seconds = std::min(r.ours_seconds, a);
    r.baseline_seconds = std::min(r.baseline_seconds, b);
    r.ours_worst = std::max(r.ours_worst, a);
    r.baseline_worst = std::max(r.baseline_worst, b);
  }
  r.ok = true;
  return r;
}

uint64_t GenerateRasterJob(const std::string& path, int pages) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return 0;
  std::vector<uint8_t> header;
  Append(header,
         "\x1B%-12345X@PJL JOB NAME=\"bench\"\r\n"
         "@PJL COMMENT XDIM=4960\r\n"
         "@PJL COMMENT YDIM=7014\r\n"
         "@PJL SET RESOLUTION=600\r\n"
         "@PJL ENTER LANGUAGE=PCL\n"
         "\x1B"
         "E");
  bool ok = WriteAllTo(fd, header.data(), header.size());
  // Two different pages in turn: enough to keep any cache of one page's
  // bytes from helping.
  const std::vector<uint8_t> even = RasterPage(1);
  const std::vector<uint8_t> odd = RasterPage(2);
  for (int p = 0; ok && p < pages; ++p) {
    const std::vector<uint8_t>& page = p % 2 == 0 ? even : odd;
    ok = WriteAllTo(fd, page.data(), page.size());
  }
  std::vector<uint8_t> trailer;
  Append(trailer,
         "\x1B"
         "E\x1B%-12345X@PJL EOJ\r\n\x1B%-12345X");
  ok = ok && WriteAllTo(fd, trailer.data(), trailer.size());
  ok = ::close(fd) == 0 && ok;
  return ok ? FileSize(path) : 0;
}

CommandResult RunPlainCommand(const CommandOptions& o, const std::string& job,
                              const std::string& ini) {
  return CompareCommands(o, "command/plain", {o.cli, "print", "--ini", ini, job}, {"cat", job}, job);
}

CommandResult RunCollatedCommand(const CommandOptions& o, const std::string& job,
                                 const std::string& ini) {
  std::vector<std::string> ours = {o.cli,   "print",
                                   "--ini", ini,
                                   "--set", "FINISHER UNIT=1",
                                   "--set", "GROUPSORT=1",
                                   "--set", "COPIES=" + std::to_string(o.copies),
                                   job};
  std::vector<std::string> baseline = {"cat"};
  for (int i = 0; i < o.copies; ++i) baseline.push_back(job);
  return CompareCommands(o, "command/collated" + std::to_string(o.copies), ours, baseline, job);
}

}  // namespace pclspool::bench
