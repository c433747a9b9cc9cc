#include "wine_spooler.h"

#include <algorithm>
#include <cstring>

namespace pclspool::wine {

namespace {

constexpr wchar_t kDriverName[] = L"pclspool test driver";
// The stock PostScript driver serves only as the driver entry's files: the
// jobs are RAW, so the spooler never hands them to it.
constexpr wchar_t kDriverFile[] = L"wineps.drv";

std::string LastError(const char* what) {
  return std::string(what) + " failed, error " + std::to_string(GetLastError());
}

// DisableThreadLibraryCalls, watched while the DLL loads: the module it was
// called for. The call itself cannot be seen in the loader's state, since
// the loader ignores it for a DLL with a TLS directory, which every
// mingw-w64 DLL has.
HMODULE g_thread_calls_disabled_for = nullptr;

BOOL WINAPI RecordDisableThreadLibraryCalls(HMODULE module) {
  g_thread_calls_disabled_for = module;
  return TRUE;
}

// Sends every call of a function to another one for its lifetime, by
// writing "mov rax, target; jmp rax" over the function's first bytes.
class Detour {
 public:
  Detour(void* function, void* target) : function_(static_cast<uint8_t*>(function)) {
    DWORD old = 0;
    if (!function_ || !VirtualProtect(function_, kSize, PAGE_EXECUTE_READWRITE, &old)) {
      function_ = nullptr;
      return;
    }
    std::memcpy(saved_, function_, kSize);
    uint8_t jump[kSize] = {0x48, 0xB8, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xE0};
    const auto address = reinterpret_cast<uintptr_t>(target);
    std::memcpy(jump + 2, &address, sizeof(address));
    std::memcpy(function_, jump, kSize);
    VirtualProtect(function_, kSize, old, &old);
    FlushInstructionCache(GetCurrentProcess(), function_, kSize);
  }
  ~Detour() {
    DWORD old = 0;
    if (!function_ || !VirtualProtect(function_, kSize, PAGE_EXECUTE_READWRITE, &old)) return;
    std::memcpy(function_, saved_, kSize);
    VirtualProtect(function_, kSize, old, &old);
    FlushInstructionCache(GetCurrentProcess(), function_, kSize);
  }
  Detour(const Detour&) = delete;
  Detour& operator=(const Detour&) = delete;
  bool active() const { return function_ != nullptr; }

 private:
  static constexpr std::size_t kSize = 12;
  uint8_t* function_;
  uint8_t saved_[kSize] = {};
};

template <typename Fn>
bool Find(HMODULE module, const char* name, Fn* fn, std::string* error) {
  *fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(module, name)));
  if (!*fn) *error = std::string("no export named ") + name;
  return *fn != nullptr;
}

// --- debugger capture ---

constexpr DWORD kDbgPrint = 0x40010006;      // DBG_PRINTEXCEPTION_C
constexpr DWORD kDbgPrintWide = 0x4001000A;  // DBG_PRINTEXCEPTION_WIDE_C

// The module's hooks run on the test's one thread, where the exception is
// raised: no lock is needed.

std::vector<std::u16string> g_debug_lines;
bool g_last_was_wide = false;

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* r = info->ExceptionRecord;
  if ((r->ExceptionCode != kDbgPrint && r->ExceptionCode != kDbgPrintWide) ||
      r->NumberParameters < 2 || r->ExceptionInformation[1] == 0) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  std::u16string line;
  if (r->ExceptionCode == kDbgPrintWide) {
    line = reinterpret_cast<const char16_t*>(r->ExceptionInformation[1]);
  } else {
    for (const char* p = reinterpret_cast<const char*>(r->ExceptionInformation[1]); *p; ++p) {
      line.push_back(static_cast<unsigned char>(*p));
    }
  }
  // Windows follows the wide exception with the narrow one of the same
  // line; the line is kept once.
  const bool repeat = r->ExceptionCode == kDbgPrint && g_last_was_wide && !g_debug_lines.empty() &&
                      g_debug_lines.back() == line;
  if (!repeat) g_debug_lines.push_back(line);
  g_last_was_wide = r->ExceptionCode == kDbgPrintWide;
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

DevmodeBlock MakeDevmode(uint16_t water_idx) {
  DevmodeBlock block{};
  DEVMODEW dm{};
  wcsncpy(dm.dmDeviceName, L"pclspool test", CCHDEVICENAME - 1);
  dm.dmSpecVersion = 0x0401;
  dm.dmDriverVersion = 0x0400;
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmDriverExtra = 58;
  dm.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES | DM_YRESOLUTION;
  dm.dmOrientation = DMORIENT_PORTRAIT;
  dm.dmPaperSize = DMPAPER_A4;
  dm.dmCopies = 1;
  dm.dmYResolution = 600;
  static_assert(sizeof(DEVMODEW) == 220);
  std::memcpy(block.data(), &dm, sizeof(dm));
  block[sizeof(DEVMODEW) + kExtraWaterIdx] = static_cast<uint8_t>(water_idx);
  block[sizeof(DEVMODEW) + kExtraWaterIdx + 1] = static_cast<uint8_t>(water_idx >> 8);
  return block;
}

bool LoadHooks(const std::wstring& dll, Hooks* h, std::string* error) {
  {
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    Detour watch(
        kernel32 ? reinterpret_cast<void*>(GetProcAddress(kernel32, "DisableThreadLibraryCalls"))
                 : nullptr,
        reinterpret_cast<void*>(&RecordDisableThreadLibraryCalls));
    if (!watch.active()) {
      *error = LastError("watching DisableThreadLibraryCalls");
      return false;
    }
    h->module = LoadLibraryW(dll.c_str());
  }
  if (!h->module) {
    *error = LastError("LoadLibraryW");
    return false;
  }
  return Find(h->module, "DrvSplStartDoc", &h->StartDoc, error) &&
         Find(h->module, "DrvSplWritePrinter", &h->WritePrinter, error) &&
         Find(h->module, "DrvSplStartPage", &h->StartPage, error) &&
         Find(h->module, "DrvSplEndPage", &h->EndPage, error) &&
         Find(h->module, "DrvSplEndDoc", &h->EndDoc, error) &&
         Find(h->module, "DrvSplClose", &h->Close, error) &&
         Find(h->module, "DrvSplAbort", &h->Abort, error);
}

HMODULE ThreadCallsDisabledFor() { return g_thread_calls_disabled_for; }

BOOL CallEntryPoint(HMODULE module, DWORD reason) {
  const auto* base = reinterpret_cast<const uint8_t*>(module);
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  if (nt->OptionalHeader.AddressOfEntryPoint == 0) return FALSE;
  using EntryFn = BOOL(WINAPI*)(HINSTANCE, DWORD, void*);
  return reinterpret_cast<EntryFn>(base + nt->OptionalHeader.AddressOfEntryPoint)(module, reason,
                                                                                  nullptr);
}

bool InstallPrinter(const std::wstring& name, const DevmodeBlock& printer_devmode,
                    std::string* error) {
  DRIVER_INFO_3W driver{};
  driver.cVersion = 3;
  driver.pName = const_cast<wchar_t*>(kDriverName);
  driver.pDriverPath = const_cast<wchar_t*>(kDriverFile);
  driver.pDataFile = const_cast<wchar_t*>(kDriverFile);
  driver.pConfigFile = const_cast<wchar_t*>(kDriverFile);
  if (!AddPrinterDriverExW(nullptr, 3, reinterpret_cast<BYTE*>(&driver), APD_COPY_NEW_FILES) &&
      GetLastError() != ERROR_PRINTER_DRIVER_ALREADY_INSTALLED) {
    *error = LastError("AddPrinterDriverExW");
    return false;
  }
  RemovePrinter(name);  // a printer left by an earlier run keeps its device mode

  DevmodeBlock devmode = printer_devmode;
  PRINTER_INFO_2W info{};
  info.pPrinterName = const_cast<wchar_t*>(name.c_str());
  info.pPortName = const_cast<wchar_t*>(L"FILE:");
  info.pDriverName = const_cast<wchar_t*>(kDriverName);
  info.pPrintProcessor = const_cast<wchar_t*>(L"WinPrint");
  info.pDatatype = const_cast<wchar_t*>(L"RAW");
  info.pDevMode = reinterpret_cast<DEVMODEW*>(devmode.data());
  const HANDLE printer = AddPrinterW(nullptr, 2, reinterpret_cast<BYTE*>(&info));
  if (!printer) {
    *error = LastError("AddPrinterW");
    return false;
  }
  ClosePrinter(printer);
  return true;
}

void RemovePrinter(const std::wstring& name) {
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<wchar_t*>(name.c_str()), &printer, &defaults)) return;
  DeletePrinter(printer);
  ClosePrinter(printer);
}

SpoolerJob::~SpoolerJob() {
  if (doc_started_) EndDocPrinter(printer_);
  if (printer_) ClosePrinter(printer_);
}

bool SpoolerJob::Start(const std::wstring& name, const DevmodeBlock* job_devmode,
                       const std::wstring& output_path, std::string* error) {
  DevmodeBlock devmode{};
  PRINTER_DEFAULTSW defaults{const_cast<wchar_t*>(L"RAW"), nullptr, PRINTER_ACCESS_USE};
  if (job_devmode) {
    devmode = *job_devmode;
    defaults.pDevMode = reinterpret_cast<DEVMODEW*>(devmode.data());
  }
  if (!OpenPrinterW(const_cast<wchar_t*>(name.c_str()), &printer_, &defaults)) {
    printer_ = nullptr;
    *error = LastError("OpenPrinterW");
    return false;
  }
  DeleteFileW(output_path.c_str());
  DOC_INFO_1W doc{const_cast<wchar_t*>(L"pclspool wine test"),
                  const_cast<wchar_t*>(output_path.c_str()), const_cast<wchar_t*>(L"RAW")};
  job_id_ = StartDocPrinterW(printer_, 1, reinterpret_cast<BYTE*>(&doc));
  if (job_id_ == 0) {
    *error = LastError("StartDocPrinterW");
    return false;
  }
  doc_started_ = true;
  return true;
}

bool SpoolerJob::Finish(std::string* error) {
  const bool ended = EndDocPrinter(printer_);
  doc_started_ = false;
  if (!ended) *error = LastError("EndDocPrinter");
  ClosePrinter(printer_);
  printer_ = nullptr;
  return ended;
}

namespace {

// Copies the device mode a level-2 record points to, when it is one of ours
// (220 + 58 bytes) and lies inside the record's buffer.
bool CopyDevmode(const char* what, const std::vector<BYTE>& buf, const DEVMODEW* dm,
                 DevmodeBlock* devmode, std::string* error) {
  if (!dm) {
    *error = std::string(what) + " reports no device mode";
    return false;
  }
  const auto* bytes = reinterpret_cast<const BYTE*>(dm);
  if (bytes < buf.data() ||
      static_cast<std::size_t>(buf.data() + buf.size() - bytes) < devmode->size() ||
      dm->dmSize + dm->dmDriverExtra != devmode->size()) {
    *error = std::string(what) + "'s device mode has dmSize " + std::to_string(dm->dmSize) +
             " and dmDriverExtra " + std::to_string(dm->dmDriverExtra);
    return false;
  }
  std::memcpy(devmode->data(), bytes, devmode->size());
  return true;
}

}  // namespace

bool SpoolerJob::JobDevmode(DevmodeBlock* devmode, std::string* error) const {
  DWORD needed = 0;
  GetJobW(printer_, job_id_, 2, nullptr, 0, &needed);
  std::vector<BYTE> buf(std::max<DWORD>(needed, sizeof(JOB_INFO_2W)));
  if (!GetJobW(printer_, job_id_, 2, buf.data(), static_cast<DWORD>(buf.size()), &needed)) {
    *error = LastError("GetJobW");
    return false;
  }
  return CopyDevmode("GetJobW", buf, reinterpret_cast<const JOB_INFO_2W*>(buf.data())->pDevMode,
                     devmode, error);
}

bool PrinterDevmode(const std::wstring& name, DevmodeBlock* devmode, std::string* error) {
  HANDLE printer = nullptr;
  if (!OpenPrinterW(const_cast<wchar_t*>(name.c_str()), &printer, nullptr)) {
    *error = LastError("OpenPrinterW");
    return false;
  }
  DWORD needed = 0;
  GetPrinterW(printer, 2, nullptr, 0, &needed);
  std::vector<BYTE> buf(std::max<DWORD>(needed, sizeof(PRINTER_INFO_2W)));
  bool ok = GetPrinterW(printer, 2, buf.data(), static_cast<DWORD>(buf.size()), &needed);
  if (!ok) *error = LastError("GetPrinterW");
  ok = ok &&
       CopyDevmode("GetPrinterW", buf,
                   reinterpret_cast<const PRINTER_INFO_2W*>(buf.data())->pDevMode, devmode, error);
  ClosePrinter(printer);
  return ok;
}

DebugCapture::DebugCapture() : handler_(AddVectoredExceptionHandler(1, OnException)) { Take(); }

DebugCapture::~DebugCapture() {
  if (handler_) RemoveVectoredExceptionHandler(handler_);
}

std::vector<std::u16string> DebugCapture::Take() {
  std::vector<std::u16string> lines;
  lines.swap(g_debug_lines);
  g_last_was_wide = false;
  return lines;
}

std::wstring ToWindowsPath(const std::wstring& path) {
  if (path.empty() || path[0] != L'/') return path;
  std::wstring w = L"Z:" + path;
  for (wchar_t& c : w) {
    if (c == L'/') c = L'\\';
  }
  return w;
}

std::string Narrow(const std::wstring& s) {
  std::string out;
  for (wchar_t c : s) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
}

std::wstring SystemDirectory() {
  wchar_t buf[MAX_PATH];
  const UINT n = GetSystemDirectoryW(buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buf, n) : std::wstring();
}

std::wstring WindowsDirectory() {
  wchar_t buf[MAX_PATH];
  const UINT n = GetWindowsDirectoryW(buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::wstring(buf, n) : std::wstring();
}

bool ReadWholeFile(const std::wstring& path, std::string* bytes) {
  const HANDLE f = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  bytes->clear();
  char buf[65536];
  DWORD got = 0;
  bool ok = true;
  while ((ok = ReadFile(f, buf, sizeof(buf), &got, nullptr)) && got > 0) bytes->append(buf, got);
  CloseHandle(f);
  return ok;
}

bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  const HANDLE f = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (f == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  const bool ok = WriteFile(f, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) &&
                  done == bytes.size();
  CloseHandle(f);
  return ok;
}

}  // namespace pclspool::wine
