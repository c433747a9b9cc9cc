// pclspool.dll driven by the real print spooler, as a spooler drives it.
//
//   pclspool_wine_test inputs DIR
//       writes each job's inputs (DIR/<job>/OrvWater.INI, page-<n>.pcl,
//       devmode.bin when the job has a device mode) and DIR/jobs.list, the
//       jobs whose reference output the POSIX command makes.
//   pclspool_wine_test run DLL REFERENCE_DIR WORK_DIR [--lenient-glyphs]
//       prints every job through a printer of its own, compares each
//       printer output file with REFERENCE_DIR/<job>.prn byte for byte, and
//       ends with "N passed, N failed". With --lenient-glyphs a watermarked
//       job whose glyphs differ from the reference passes when everything
//       but the glyph downloads and label positions is equal, and the
//       differences are described.
//
// Paths may be Unix paths (they are reached through Wine's Z: drive).
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "output_compare.h"
#include "wine_jobs.h"
#include "wine_spooler.h"

namespace pclspool::wine {
namespace {

constexpr wchar_t kPrinterName[] = L"pclspool test";

class Results {
 public:
  void Check(bool ok, const std::string& name, const std::string& detail = "") {
    std::printf("%s %s%s%s\n", ok ? "PASS" : "FAIL", name.c_str(), detail.empty() ? "" : ": ",
                detail.c_str());
    std::fflush(stdout);
    ++(ok ? passed_ : failed_);
  }
  void Note(const std::string& text) {
    std::printf("%s", text.c_str());
    std::fflush(stdout);
  }
  int failed() const { return failed_; }
  int passed() const { return passed_; }

 private:
  int passed_ = 0;
  int failed_ = 0;
};

std::wstring Widen(const std::string& s) { return std::wstring(s.begin(), s.end()); }

std::string Narrow16(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) out += c == '\n' ? std::string("\\n") : std::string(1, c);
  return out;
}

// The page file of a page, as the module names it: the system directory,
// then "\Orv<printer handle>.<page>" in lower-case hexadecimal.
std::wstring PageFile(HANDLE printer, uint32_t page) {
  wchar_t name[64];
  std::swprintf(name, 64, L"\\Orv%x.%x",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(printer)), page);
  return SystemDirectory() + name;
}

// Page files of this printer handle present in the system directory.
std::vector<std::wstring> PageFilesPresent(HANDLE printer) {
  std::vector<std::wstring> found;
  wchar_t pattern[64];
  std::swprintf(pattern, 64, L"\\Orv%x.*",
                static_cast<unsigned>(reinterpret_cast<uintptr_t>(printer)));
  WIN32_FIND_DATAW data;
  const HANDLE find = FindFirstFileW((SystemDirectory() + pattern).c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return found;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) found.push_back(data.cFileName);
  } while (FindNextFileW(find, &data));
  FindClose(find);
  return found;
}

// The offsets at which two device modes differ. Wine's spooler keeps
// whatever bytes follow the terminator of dmDeviceName in a printer's
// device mode; they carry nothing and are not compared.
std::string DevmodeDifference(const DevmodeBlock& got, const DevmodeBlock& want) {
  constexpr std::size_t kNameBytes = sizeof(DEVMODEW::dmDeviceName);
  std::size_t name_end = 0;
  while (name_end + 1 < kNameBytes && (got[name_end] | got[name_end + 1]) != 0) name_end += 2;
  std::string out;
  for (std::size_t i = 0; i < got.size(); ++i) {
    if (i > name_end + 1 && i < kNameBytes) continue;
    if (got[i] != want[i]) {
      out += (out.empty() ? "bytes differ at " : ", ") + std::to_string(i) + " (" +
             std::to_string(got[i]) + " for " + std::to_string(want[i]) + ")";
    }
  }
  return out;
}

bool WriteJobInputs(const std::wstring& dir) {
  CreateDirectoryW(dir.c_str(), nullptr);
  std::string list;
  for (const Job& job : Jobs()) {
    const std::wstring jd = dir + L"\\" + Widen(job.name);
    CreateDirectoryW(jd.c_str(), nullptr);
    bool ok = WriteWholeFile(jd + L"\\OrvWater.INI", job.ini);
    for (std::size_t p = 0; p < job.pages.size(); ++p) {
      ok = ok && WriteWholeFile(jd + L"\\page-" + std::to_wstring(p + 1) + L".pcl", job.pages[p]);
    }
    if (job.job_devmode) {
      const DevmodeBlock dm = MakeDevmode(job.water_idx);
      ok = ok && WriteWholeFile(jd + L"\\devmode.bin",
                                std::string(reinterpret_cast<const char*>(dm.data()), dm.size()));
    }
    if (!ok) {
      std::fprintf(stderr, "cannot write the inputs of %s\n", job.name.c_str());
      return false;
    }
    if (job.expected.empty()) list += job.name + "\n";
  }
  return WriteWholeFile(dir + L"\\jobs.list", list);
}

// OrvWater.INI in the Windows directory, where the profile services look
// for a file named without a directory; the profile cache is flushed so
// that the new file is read.
bool InstallIni(const std::string& text) {
  if (!WriteWholeFile(WindowsDirectory() + L"\\OrvWater.INI", text)) return false;
  WritePrivateProfileStringW(nullptr, nullptr, nullptr, L"OrvWater.INI");
  return true;
}

bool IsHiddenFile(const std::wstring& path) {
  const DWORD a = GetFileAttributesW(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY) &&
         (a & FILE_ATTRIBUTE_HIDDEN);
}

bool Contains(const std::vector<uint32_t>& v, uint32_t x) {
  for (uint32_t y : v) {
    if (y == x) return true;
  }
  return false;
}

// The printer output file against the reference: byte for byte, or, for a
// watermarked job when lenient, outside the rasteriser's bytes.
void CheckOutput(const Job& job, const std::wstring& output, const std::wstring& reference_dir,
                 bool lenient_glyphs, Results& r) {
  const std::string n = job.name + ": ";
  std::string got, want = job.expected;
  if (!ReadWholeFile(output, &got)) {
    r.Check(false, n + "printer output file written", Narrow(output));
    return;
  }
  const std::wstring reference = reference_dir + L"\\" + Widen(job.name) + L".prn";
  if (want.empty() && !ReadWholeFile(reference, &want)) {
    r.Check(false, n + "reference output readable", Narrow(reference));
    return;
  }
  const std::string exact = FirstDifference(got, want);
  if (!exact.empty() && job.watermark) {
    r.Note("  " + job.name + ": the soft fonts differ (Wine's GDI / the reference):\n" +
           DescribeGlyphDifferences(got, want, "Wine", "reference"));
  }
  if (exact.empty() || !job.watermark || !lenient_glyphs) {
    r.Check(exact.empty(), n + "printer output equals the reference byte for byte", exact);
    return;
  }
  const std::string masked = FirstDifference(MaskRasteriserBytes(got), MaskRasteriserBytes(want));
  r.Check(masked.empty(),
          n + "printer output equals the reference outside glyph downloads and label positions",
          masked);
}

void RunJob(const Hooks& hooks, const Job& job, const std::wstring& reference_dir,
            const std::wstring& work_dir, bool lenient_glyphs, DebugCapture& debug, Results& r) {
  const std::string n = job.name + ": ";
  std::string error;
  if (!InstallIni(job.ini)) {
    r.Check(false, n + "OrvWater.INI written to the Windows directory");
    return;
  }

  const DevmodeBlock devmode = MakeDevmode(job.water_idx);
  const std::wstring output = work_dir + L"\\" + Widen(job.name) + L".prn";
  SpoolerJob spooler;
  if (!spooler.Start(kPrinterName, job.job_devmode ? &devmode : nullptr, output, &error)) {
    r.Check(false, n + "job started on the spooler", error);
    return;
  }

  // What the module's settings capture will be given.
  DevmodeBlock reported{};
  std::string devmode_error;
  const bool has_devmode = spooler.JobDevmode(&reported, &devmode_error);
  if (job.job_devmode) {
    const std::string difference =
        has_devmode ? DevmodeDifference(reported, devmode) : devmode_error;
    r.Check(difference.empty(),
            n + "GetJobW level 2 gives the device mode given to OpenPrinterW, DriverExtra included",
            difference);
  } else {
    r.Check(!has_devmode,
            n + "GetJobW level 2 gives no device mode for a printer opened without one");
  }

  // A directory under a page file's name: the module cannot create it.
  const HANDLE printer = spooler.printer();
  for (uint32_t p : job.failing_pages) CreateDirectoryW(PageFile(printer, p).c_str(), nullptr);
  debug.Take();

  HANDLE ctx = hooks.StartDoc(printer, spooler.job_id());
  r.Check(ctx != nullptr, n + "DrvSplStartDoc returns a context");
  if (!ctx) return;

  bool files_hidden = true, writes_ok = true;
  std::string file_detail;
  for (uint32_t p = 1; p <= job.pages.size(); ++p) {
    hooks.StartPage(ctx);
    const std::wstring file = PageFile(printer, p);
    if (job.stores_pages && !Contains(job.failing_pages, p) && !IsHiddenFile(file)) {
      files_hidden = false;
      file_detail =
          Narrow(file) + " attributes " + std::to_string(GetFileAttributesW(file.c_str()));
    }
    std::string buffer = job.pages[p - 1];
    PCLSPOOL_DWORD written = 0;
    const PCLSPOOL_BOOL ok =
        hooks.WritePrinter(ctx, buffer.data(), static_cast<DWORD>(buffer.size()), &written);
    if (!Contains(job.failing_pages, p) && !ok) writes_ok = false;
    hooks.EndPage(ctx);
  }
  r.Check(writes_ok, n + "DrvSplWritePrinter reports success");
  if (job.stores_pages) {
    r.Check(files_hidden, n + "every page file is a hidden file in the system directory",
            file_detail);
    r.Check(PageFilesPresent(printer).size() == job.pages.size() - job.failing_pages.size(),
            n + "one page file per stored page before DrvSplEndDoc");
  }

  // The one line that the module sends to the debugger.
  std::vector<std::u16string> want_lines;
  for (uint32_t p : job.failing_pages) {
    const std::wstring path = PageFile(printer, p);
    want_lines.push_back(u"OrvUmpd:     Fail to Open :" + std::u16string(path.begin(), path.end()) +
                         u" \n");
  }
  const std::vector<std::u16string> lines = debug.Take();
  std::string got_lines;
  for (const std::u16string& l : lines) got_lines += "[" + Escape(Narrow16(l)) + "]";
  r.Check(lines == want_lines,
          n + (want_lines.empty() ? "nothing sent to the debugger"
                                  : "the page-file failure line sent to the debugger"),
          got_lines);

  hooks.EndDoc(ctx);
  const std::vector<std::wstring> left = PageFilesPresent(printer);
  r.Check(left.empty(), n + "no page file left after DrvSplEndDoc",
          left.empty() ? "" : Narrow(left.front()));
  hooks.Close(ctx);

  const bool finished = spooler.Finish(&error);
  r.Check(finished, n + "the spooler sends the job to its port", error);
  for (uint32_t p : job.failing_pages) RemoveDirectoryW(PageFile(printer, p).c_str());
  if (!finished) return;

  CheckOutput(job, output, reference_dir, lenient_glyphs, r);
}

void ReportSystemFont(Results& r) {
  LOGFONTW lf{};
  GetObjectW(GetStockObject(SYSTEM_FONT), sizeof(lf), &lf);
  const HDC dc = GetDC(nullptr);
  char line[256];
  std::snprintf(line, sizeof(line),
                "  screen: LOGPIXELSX %d; SYSTEM_FONT \"%s\" height %ld width %ld weight %ld "
                "charset %d out %d clip %d quality %d pitch&family 0x%x\n",
                dc ? GetDeviceCaps(dc, LOGPIXELSX) : -1, Narrow(lf.lfFaceName).c_str(),
                static_cast<long>(lf.lfHeight), static_cast<long>(lf.lfWidth),
                static_cast<long>(lf.lfWeight), lf.lfCharSet, lf.lfOutPrecision, lf.lfClipPrecision,
                lf.lfQuality, lf.lfPitchAndFamily);
  if (dc) ReleaseDC(nullptr, dc);
  r.Note(line);
}

int Run(const std::wstring& dll, const std::wstring& reference_dir, const std::wstring& work_dir,
        bool lenient_glyphs) {
  Results r;
  CreateDirectoryW(work_dir.c_str(), nullptr);
  Hooks hooks;
  std::string error;
  const bool loaded = LoadHooks(dll, &hooks, &error);
  r.Check(loaded, "LoadLibraryW and GetProcAddress find the seven hooks", error);
  if (!loaded) {
    std::printf("%d passed, %d failed\n", r.passed(), r.failed());
    return 1;
  }
  r.Check(ThreadCallsDisabledFor() == hooks.module,
          "DllMain calls DisableThreadLibraryCalls for its module on process attach");
  r.Check(CallEntryPoint(hooks.module, DLL_THREAD_ATTACH) == TRUE &&
              CallEntryPoint(hooks.module, DLL_THREAD_DETACH) == TRUE,
          "DllMain returns TRUE for thread attach and detach");
  ReportSystemFont(r);

  const bool installed = InstallPrinter(kPrinterName, MakeDevmode(kPrinterWaterIdx), &error);
  r.Check(installed, "test printer added (FILE: port, RAW)", error);
  DevmodeBlock printer_devmode{};
  const bool has_printer_devmode =
      installed && PrinterDevmode(kPrinterName, &printer_devmode, &error);
  const std::string printer_difference =
      has_printer_devmode ? DevmodeDifference(printer_devmode, MakeDevmode(kPrinterWaterIdx))
                          : error;
  r.Check(printer_difference.empty(),
          "GetPrinterW level 2 gives the device mode given to AddPrinterW, DriverExtra included",
          printer_difference);
  if (installed) {
    DebugCapture debug;
    for (const Job& job : Jobs())
      RunJob(hooks, job, reference_dir, work_dir, lenient_glyphs, debug, r);
    RemovePrinter(kPrinterName);
  }
  DeleteFileW((WindowsDirectory() + L"\\OrvWater.INI").c_str());
  r.Check(FreeLibrary(hooks.module) != FALSE, "FreeLibrary unloads the module");

  std::printf("%d passed, %d failed\n", r.passed(), r.failed());
  return r.failed() == 0 ? 0 : 1;
}

}  // namespace
}  // namespace pclspool::wine

int wmain(int argc, wchar_t** argv) {
  using namespace pclspool::wine;
  const std::vector<std::wstring> args(argv + 1, argv + argc);
  if (args.size() == 2 && args[0] == L"inputs")
    return WriteJobInputs(ToWindowsPath(args[1])) ? 0 : 1;
  if ((args.size() == 4 || args.size() == 5) && args[0] == L"run") {
    const bool lenient = args.size() == 5 && args[4] == L"--lenient-glyphs";
    if (args.size() == 5 && !lenient) return 2;
    return Run(ToWindowsPath(args[1]), ToWindowsPath(args[2]), ToWindowsPath(args[3]), lenient);
  }
  std::fprintf(stderr,
               "usage: pclspool_wine_test inputs DIR\n"
               "       pclspool_wine_test run DLL REFERENCE_DIR WORK_DIR [--lenient-glyphs]\n");
  return 2;
}
