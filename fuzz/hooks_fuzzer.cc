// The seven hooks driven by an arbitrary program against the POSIX layer:
// jobs on a few printers, several alive at once, their hooks interleaved in
// any order the spooler's contract allows (no hook after a job's
// DrvSplClose), with any stream bytes, aborts, device modes and INI file.
// The page files live in a scratch spool directory; the watermark is drawn
// with the real FreeType text services on the test font.
//
// Failures of the platform's calls (allocation, file creation, reads and
// writes, screen context, font, metrics, glyphs) can be armed by the program.
// After every program, with every job closed: no heap block, file handle,
// file descriptor, screen context or font is left over, and no file was
// created, opened or deleted anywhere but in the spool directory.
//
// Input: the INI file's bytes, the line "--ops--", then the program (see
// Run below). Without that line the whole input is the program and there
// is no INI file.
#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "pclspool/pclspool.h"
#include "platform/platform.h"
#include "platform/posix/posix_platform.h"
#include "platform/posix/utf.h"
#include "host/host.h"
#include "support/scratch_dir.h"

namespace {

using namespace pclspool;
using pclspool::fuzz::InputReader;

constexpr std::string_view kProgramMark = "\n--ops--\n";
constexpr std::size_t kMaxJobs = 4;
constexpr uintptr_t kPrinterBase = 0x5100;
constexpr int kPrinters = 3;

// Fonts are realised at most this many pixels high or wide (an inch at
// 600 dpi: large enough for compressed glyph rows), which keeps a watermark
// set-up to milliseconds. Sizes from this one to kHugePixels are brought
// down to it; sizes beyond are passed on as they are, for the rasteriser to
// refuse.
constexpr LONG kMaxFontPixels = 600;
constexpr LONG kHugePixels = 1 << 20;

LONG BoundSize(LONG v) {
  if (v > kMaxFontPixels && v < kHugePixels) return kMaxFontPixels;
  if (v < -kMaxFontPixels && v > -kHugePixels) return -kMaxFontPixels;
  return v;
}

// Takes one armed failure, if any.
bool Fail(int& armed) {
  if (armed <= 0) return false;
  --armed;
  return true;
}

// Every path the module hands the file service must name a file directly
// in the spool directory. Failures can be armed for the next calls.
class TrackedFiles final : public platform::Files {
 public:
  TrackedFiles(platform::Files& real, std::string spool) : real_(real), spool_(std::move(spool)) {}

  UINT GetSystemDirectoryW(WCHAR* buf, UINT size) override {
    return real_.GetSystemDirectoryW(buf, size);
  }
  WCHAR PathSeparator() override { return real_.PathSeparator(); }
  HANDLE CreateNewHidden(const WCHAR* path) override {
    CheckPath(path);
    if (Fail(fail_create)) return InvalidHandleValue();
    return Opened(real_.CreateNewHidden(path));
  }
  HANDLE OpenExisting(const WCHAR* path) override {
    CheckPath(path);
    if (Fail(fail_open)) return InvalidHandleValue();
    return Opened(real_.OpenExisting(path));
  }
  BOOL ReadFile(HANDLE file, void* buf, DWORD count, DWORD* read) override {
    FUZZ_CHECK(open_.count(file) == 1);
    if (Fail(fail_read)) {
      if (read) *read = 0;
      return kFalse;
    }
    return real_.ReadFile(file, buf, count, read);
  }
  BOOL WriteFile(HANDLE file, const void* bytes, DWORD count, DWORD* written) noexcept override {
    FUZZ_CHECK(open_.count(file) == 1);
    if (Fail(fail_write)) {
      if (written) *written = 0;
      return kFalse;
    }
    return real_.WriteFile(file, bytes, count, written);
  }
  BOOL CloseHandle(HANDLE file) override {
    FUZZ_CHECK(open_.erase(file) == 1);
    return real_.CloseHandle(file);
  }
  BOOL DeleteFileW(const WCHAR* path) override {
    CheckPath(path);
    return real_.DeleteFileW(path);
  }

  std::size_t open_handles() const { return open_.size(); }

  int fail_create = 0, fail_open = 0, fail_read = 0, fail_write = 0;

 private:
  void CheckPath(const WCHAR* path) {
    FUZZ_CHECK(path != nullptr);
    const std::string p = posix::Utf16ToUtf8(path);
    FUZZ_CHECK(p.size() > spool_.size() + 1 && p.compare(0, spool_.size(), spool_) == 0 &&
               p[spool_.size()] == '/');
    const std::string name = p.substr(spool_.size() + 1);
    FUZZ_CHECK(name.find('/') == std::string::npos && name != "." && name != "..");
  }
  HANDLE Opened(HANDLE h) {
    if (h != InvalidHandleValue()) FUZZ_CHECK(open_.insert(h).second);
    return h;
  }

  platform::Files& real_;
  std::string spool_;
  std::set<HANDLE> open_;
};

// Every block the module frees must be one it holds.
class TrackedHeap final : public platform::Heap {
 public:
  explicit TrackedHeap(platform::Heap& real) : real_(real) {}
  void* Alloc(std::size_t bytes) override {
    if (Fail(fail_alloc)) return nullptr;
    void* p = real_.Alloc(bytes);
    if (p) FUZZ_CHECK(live_.insert(p).second);
    return p;
  }
  void* ReAlloc(void* block, std::size_t bytes) override {
    FUZZ_CHECK(live_.count(block) == 1);
    if (Fail(fail_alloc)) return nullptr;
    void* p = real_.ReAlloc(block, bytes);
    if (p) {
      live_.erase(block);
      live_.insert(p);
    }
    return p;
  }
  void Free(void* block) override {
    if (!block) return;
    FUZZ_CHECK(live_.erase(block) == 1);
    real_.Free(block);
  }
  std::size_t live_blocks() const { return live_.size(); }

  int fail_alloc = 0;

 private:
  platform::Heap& real_;
  std::set<void*> live_;
};

// Screen contexts and fonts must be given back; font sizes are bounded.
class TrackedText final : public platform::Text {
 public:
  explicit TrackedText(platform::Text& real) : real_(real) {}
  HDC GetDC() override {
    if (Fail(fail_dc)) return nullptr;
    HDC dc = real_.GetDC();
    if (dc) FUZZ_CHECK(dcs_.insert(dc).second);
    return dc;
  }
  int ReleaseDC(HDC dc) override {
    FUZZ_CHECK(dcs_.erase(dc) == 1);
    return real_.ReleaseDC(dc);
  }
  int GetDeviceCaps(HDC dc, int index) override {
    FUZZ_CHECK(dcs_.count(dc) == 1);
    return real_.GetDeviceCaps(dc, index);
  }
  BOOL GetSystemFont(LOGFONTW* font) override { return real_.GetSystemFont(font); }
  HGDIOBJ CreateFontIndirectW(const LOGFONTW* font) override {
    FUZZ_CHECK(font != nullptr);
    LOGFONTW lf = *font;
    lf.lfHeight = BoundSize(lf.lfHeight);
    lf.lfWidth = BoundSize(lf.lfWidth);
    if (Fail(fail_font)) return nullptr;
    HGDIOBJ f = real_.CreateFontIndirectW(&lf);
    if (f) FUZZ_CHECK(fonts_.insert(f).second);
    return f;
  }
  HGDIOBJ SelectObject(HDC dc, HGDIOBJ object) override {
    FUZZ_CHECK(dcs_.count(dc) == 1);
    return real_.SelectObject(dc, object);
  }
  BOOL DeleteObject(HGDIOBJ object) override {
    FUZZ_CHECK(fonts_.erase(object) == 1);
    return real_.DeleteObject(object);
  }
  BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics) override {
    FUZZ_CHECK(dcs_.count(dc) == 1);
    if (Fail(fail_metrics)) return kFalse;
    return real_.GetTextMetricsW(dc, metrics);
  }
  BOOL GetTextExtentPoint32W(HDC dc, const WCHAR* text, int count, SIZE* size) override {
    FUZZ_CHECK(dcs_.count(dc) == 1);
    if (Fail(fail_extent)) return kFalse;
    return real_.GetTextExtentPoint32W(dc, text, count, size);
  }
  DWORD GetGlyphOutlineW(HDC dc, UINT ch, UINT format, GLYPHMETRICS* metrics, DWORD cb, void* buf,
                         const MAT2* matrix) override {
    FUZZ_CHECK(dcs_.count(dc) == 1);
    if (Fail(fail_glyph)) return GDI_ERROR;
    return real_.GetGlyphOutlineW(dc, ch, format, metrics, cb, buf, matrix);
  }
  std::size_t live_objects() const { return dcs_.size() + fonts_.size(); }

  int fail_dc = 0, fail_font = 0, fail_metrics = 0, fail_extent = 0, fail_glyph = 0;

 private:
  platform::Text& real_;
  std::set<HDC> dcs_;
  std::set<HGDIOBJ> fonts_;
};

// The debugger and the trace: every line a NUL-terminated string, then
// dropped (the page-file failures an armed fault causes would flood the
// fuzzer's output).
class QuietDebug final : public platform::Debug {
 public:
  void OutputDebugStringW(const WCHAR* text) override { Check(text); }
  void Trace(const WCHAR* line) override { Check(line); }

 private:
  static void Check(const WCHAR* s) {
    FUZZ_CHECK(s != nullptr);
    std::size_t n = 0;
    while (s[n]) ++n;
    FUZZ_CHECK(n < 1024);
  }
};

std::size_t OpenFds() {
  std::size_t n = 0;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (readdir(d)) ++n;
    closedir(d);
  }
  return n;
}

// The scratch directories, the test font for every face, and the platform
// made of the POSIX services and the trackers.
struct World {
  World()
      : files(posix::Posix().files, MakeDirs()),
        heap(posix::Posix().heap),
        text(posix::Posix().text) {
    posix::PosixPlatform& px = posix::Posix();
    px.files.SetSystemDirectory(spool);
    px.profile.SetFilePath(ini);
    // Every face the INI may name is the test font: mapped ones directly,
    // all others through a fontconfig that knows no other font.
    const std::string font = std::string(PCLSPOOL_TEST_DATA) + "/LiberationSans-Regular.ttf";
    for (const char16_t* face : {u"Arial", u"System", u"Times New Roman", u"Courier New"})
      px.text.MapFace(face, font);
    const std::string conf = root + "/fonts.conf";
    std::ofstream(conf) << "<?xml version=\"1.0\"?>\n<fontconfig>\n  <dir>" << PCLSPOOL_TEST_DATA
                        << "</dir>\n  <cachedir>" << root << "/cache</cachedir>\n</fontconfig>\n";
    setenv("FONTCONFIG_FILE", conf.c_str(), 1);
    null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    full_fd = open("/dev/full", O_WRONLY | O_CLOEXEC);
    if (full_fd < 0) full_fd = null_fd;
    FUZZ_CHECK(null_fd >= 0);
    services = px.services;
    services.files = &files;
    services.heap = &heap;
    services.text = &text;
    services.debug = &debug;
  }

  std::string MakeDirs() {
    // Removed when the process ends normally; a crash leaves it for a look.
    static const testing::ScratchDir scratch("hooks-fuzz");
    root = scratch.string();
    spool = root + "/spool";
    ini = root + "/OrvWater.INI";
    FUZZ_CHECK(mkdir(spool.c_str(), 0700) == 0);
    return spool;
  }

  // Removes what the jobs left in the spool directory; every name there
  // must be a page file's.
  void CleanSpool() {
    DIR* d = opendir(spool.c_str());
    FUZZ_CHECK(d != nullptr);
    std::vector<std::string> names;
    while (const dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      FUZZ_CHECK(name.rfind("Orv", 0) == 0);
      names.push_back(name);
    }
    closedir(d);
    for (const std::string& name : names) unlink((spool + "/" + name).c_str());
  }

  std::string root, spool, ini;
  TrackedFiles files;
  TrackedHeap heap;
  TrackedText text;
  QuietDebug debug;
  platform::Platform services{};
  int null_fd = -1;
  int full_fd = -1;
};

HANDLE Printer(uint8_t b) { return reinterpret_cast<HANDLE>(kPrinterBase + b % kPrinters); }

// A device mode for the printer from five bytes of the program: which
// queries fail or give the wrong version, where the output goes, and the
// job's paper code, copies, resolution and DriverExtra fields.
posix::PrinterSetup ReadSetup(InputReader& in, const World& w) {
  posix::PrinterSetup s = host::DriverPrinter();
  const uint8_t flags = in.U8();
  s.fd = flags & 0x08 ? w.full_fd : w.null_fd;
  s.has_printer_devmode = !(flags & 0x01);
  s.has_job_devmode = !(flags & 0x02);
  DEVMODEW pdm;
  std::memcpy(&pdm, s.printer_devmode.data(), sizeof(pdm));
  if (flags & 0x04) pdm.dmSpecVersion = 0x0400;
  std::memcpy(s.printer_devmode.data(), &pdm, sizeof(pdm));

  DEVMODEW dm;
  std::memcpy(&dm, s.job_devmode.data(), sizeof(dm));
  if (flags & 0x10) dm.dmSize = 0;
  dm.dmPaperSize = static_cast<int16_t>(in.U16());
  dm.dmCopies = static_cast<int16_t>(static_cast<int8_t>(in.U8()));
  dm.dmYResolution = static_cast<int16_t>(in.U16());
  std::memcpy(s.job_devmode.data(), &dm, sizeof(dm));
  uint8_t* extra = s.job_devmode.data() + sizeof(DEVMODEW);
  const uint8_t fields = in.U8();
  extra[20] = fields & 0x07;                  // waterIdx
  extra[18] = (fields >> 3) & 0x03;           // n-up
  extra[36] = static_cast<uint8_t>(fields >> 5);  // zoom index
  extra[42] = flags & 0x20 ? 1 : 0;           // finisher
  extra[50] = flags & 0x40 ? 1 : 0;           // group sort
  return s;
}

// The PJL lines the hooks read at the start of a buffer.
constexpr std::string_view kPjl[] = {"@PJL COMMENT XDIM=", "@PJL COMMENT YDIM=",
                                     "@PJL ENTER LANGUAGE=PCL\n"};

// Runs the program: one opcode byte, then its operands.
//   0 StartDoc (printer, job id, device mode: ReadSetup)
//   1 WritePrinter (job, 16-bit count, that many bytes)
//   2 WritePrinter of a PJL line (job, which line, count, bytes after it)
//   3 StartPage, 4 EndPage, 5 EndDoc, 6 Abort, 7 Close (job)
//   8 a whole page: StartPage, WritePrinter (count, bytes), EndPage (job)
//   9 WritePrinter of nothing (job, null buffer or not)
//  10 arm failures (which service call, how many of the next ones fail)
// A job operand picks one of the live jobs; with none, the call is skipped.
void Run(InputReader& in, World& w) {
  std::vector<void*> jobs;
  auto job = [&](uint8_t b) -> void* { return jobs.empty() ? nullptr : jobs[b % jobs.size()]; };
  auto write = [&](void* j, std::string_view bytes) {
    std::string copy(bytes);  // the spooler's buffer: writable, exactly sized
    DWORD written = 0xDEAD;
    DrvSplWritePrinter(j, copy.empty() ? nullptr : copy.data(), static_cast<DWORD>(copy.size()),
                       &written);
  };
  while (!in.empty()) {
    const uint8_t op = in.U8() % 11;
    if (op == 10) {
      const uint8_t which = in.U8();
      const int count = in.U8() % 4 + 1;
      int* armed[] = {&w.files.fail_create, &w.files.fail_open,  &w.files.fail_read,
                      &w.files.fail_write,  &w.heap.fail_alloc,  &w.text.fail_dc,
                      &w.text.fail_font,    &w.text.fail_metrics, &w.text.fail_extent,
                      &w.text.fail_glyph};
      *armed[which % std::size(armed)] = count;
      continue;
    }
    if (op == 0) {
      const HANDLE printer = Printer(in.U8());
      const DWORD job_id = in.U8();
      const posix::PrinterSetup setup = ReadSetup(in, w);
      if (jobs.size() == kMaxJobs) continue;
      // The printer takes the setup of the job starting on it now.
      posix::Posix().spooler.RemovePrinter(printer);
      FUZZ_CHECK(posix::Posix().spooler.AddPrinter(printer, setup));
      // NULL only when the context cannot be allocated; the spooler then
      // calls no other hook for the job.
      void* j = DrvSplStartDoc(printer, job_id);
      if (j) jobs.push_back(j);
      continue;
    }
    void* j = job(in.U8());
    switch (op) {
      case 1: {
        const std::string_view bytes = in.Bytes(in.U16());
        if (j) write(j, bytes);
        break;
      }
      case 2: {
        std::string line(kPjl[in.U8() % 3]);
        line += in.Bytes(in.U8() % 16);
        if (j) write(j, line);
        break;
      }
      case 3:
        if (j) FUZZ_CHECK(DrvSplStartPage(j) == 1);
        break;
      case 4:
        if (j) FUZZ_CHECK(DrvSplEndPage(j) == 1);
        break;
      case 5:
        if (j) DrvSplEndDoc(j);
        break;
      case 6:
        if (j) DrvSplAbort(j);
        break;
      case 7:
        if (j) {
          DrvSplClose(j);
          jobs.erase(std::find(jobs.begin(), jobs.end(), j));
        }
        break;
      case 8: {
        const std::string_view bytes = in.Bytes(in.U16() % 2048);
        if (j) {
          DrvSplStartPage(j);
          write(j, bytes);
          DrvSplEndPage(j);
        }
        break;
      }
      case 9:
        if (j) {
          char none = 0;
          DrvSplWritePrinter(j, in.U8() & 1 ? &none : nullptr, 0, nullptr);
        }
        break;
    }
  }
  // A spooler closes every job it started, aborted or not.
  for (void* left : jobs) DrvSplClose(left);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  static World* world = new World();  // lives as long as the process
  World& w = *world;

  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t mark = input.find(kProgramMark);
  std::string_view program = input;
  if (mark != std::string_view::npos) {
    std::ofstream(w.ini, std::ios::binary | std::ios::trunc)
        .write(input.data(), static_cast<std::streamsize>(mark));
    program = input.substr(mark + kProgramMark.size());
  } else {
    unlink(w.ini.c_str());
  }

  const std::size_t fds = OpenFds();
  w.files.fail_create = w.files.fail_open = w.files.fail_read = w.files.fail_write = 0;
  w.heap.fail_alloc = 0;
  w.text.fail_dc = w.text.fail_font = w.text.fail_metrics = w.text.fail_extent = 0;
  w.text.fail_glyph = 0;
  platform::Install(&w.services);
  InputReader in(reinterpret_cast<const uint8_t*>(program.data()), program.size());
  Run(in, w);
  platform::Install(nullptr);

  FUZZ_CHECK(w.heap.live_blocks() == 0);
  FUZZ_CHECK(w.files.open_handles() == 0);
  FUZZ_CHECK(w.text.live_objects() == 0);
  FUZZ_CHECK(OpenFds() == fds);
  w.CleanSpool();
  for (int p = 0; p < kPrinters; ++p) posix::Posix().spooler.RemovePrinter(Printer(p));
  return 0;
}
