// The spooler's side of a job, on the real Win32 print spooler (Wine's when
// run under Wine): a printer of the test's own, the job on it, the loaded
// pclspool.dll and its hooks, and what the module sends to the debugger.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winspool.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "pclspool/pclspool.h"

namespace pclspool::wine {

// A DEVMODEW with the 58-byte driver-private block behind it.
using DevmodeBlock = std::array<uint8_t, 278>;

// Offsets in the driver-private block that the tests set.
inline constexpr std::size_t kExtraWaterIdx = 20;

// A device mode as the driver writes it: dmSpecVersion 0x0401,
// dmDriverVersion 0x0400, dmSize 220, dmDriverExtra 58, A4 portrait at 600
// dots per inch, one copy, waterIdx as given.
DevmodeBlock MakeDevmode(uint16_t water_idx);

// The seven hooks, found in the loaded DLL by name.
struct Hooks {
  HMODULE module = nullptr;
  decltype(&DrvSplStartDoc) StartDoc = nullptr;
  decltype(&DrvSplWritePrinter) WritePrinter = nullptr;
  decltype(&DrvSplStartPage) StartPage = nullptr;
  decltype(&DrvSplEndPage) EndPage = nullptr;
  decltype(&DrvSplEndDoc) EndDoc = nullptr;
  decltype(&DrvSplClose) Close = nullptr;
  decltype(&DrvSplAbort) Abort = nullptr;
};

// LoadLibraryW and GetProcAddress for every hook; error names what failed.
// While the DLL loads, DisableThreadLibraryCalls is watched.
bool LoadHooks(const std::wstring& dll, Hooks* hooks, std::string* error);

// The module that DisableThreadLibraryCalls was called for while LoadHooks
// loaded the DLL, or null.
HMODULE ThreadCallsDisabledFor();
// Calls the module's entry point as the loader does, for reason.
BOOL CallEntryPoint(HMODULE module, DWORD reason);

// Replaces the test printer: a driver entry of its own, the "FILE:" port,
// the RAW datatype, and printer_devmode as the printer's device mode.
bool InstallPrinter(const std::wstring& name, const DevmodeBlock& printer_devmode,
                    std::string* error);
void RemovePrinter(const std::wstring& name);
// The printer's device mode as GetPrinterW level 2 reports it.
bool PrinterDevmode(const std::wstring& name, DevmodeBlock* devmode, std::string* error);

// One job on the test printer whose output goes to output_path. The printer
// is opened with job_devmode in its PRINTER_DEFAULTS, or with none.
class SpoolerJob {
 public:
  SpoolerJob() = default;
  SpoolerJob(const SpoolerJob&) = delete;
  SpoolerJob& operator=(const SpoolerJob&) = delete;
  ~SpoolerJob();

  bool Start(const std::wstring& printer, const DevmodeBlock* job_devmode,
             const std::wstring& output_path, std::string* error);
  // EndDocPrinter, which sends the job to its port, and ClosePrinter.
  bool Finish(std::string* error);

  HANDLE printer() const { return printer_; }
  DWORD job_id() const { return job_id_; }
  // The job's device mode as GetJobW level 2 reports it; false when it
  // reports none.
  bool JobDevmode(DevmodeBlock* devmode, std::string* error) const;

 private:
  HANDLE printer_ = nullptr;
  DWORD job_id_ = 0;
  bool doc_started_ = false;
};

// Captures what OutputDebugStringW sends while it is in scope, through a
// vectored exception handler: the string reaches any debugger as a
// DBG_PRINTEXCEPTION_C (Wine converts wide strings and raises that one) or
// DBG_PRINTEXCEPTION_WIDE_C (Windows 10 and later raise it first).
class DebugCapture {
 public:
  DebugCapture();
  ~DebugCapture();
  DebugCapture(const DebugCapture&) = delete;
  DebugCapture& operator=(const DebugCapture&) = delete;

  // Each line once, as UTF-16 (narrow lines widened byte for byte).
  std::vector<std::u16string> Take();

 private:
  void* handler_;
};

// Unix paths (as the test's arguments come from the script) become Wine's
// Z: drive paths; Windows paths are kept.
std::wstring ToWindowsPath(const std::wstring& path);
std::string Narrow(const std::wstring& s);
std::wstring SystemDirectory();
std::wstring WindowsDirectory();

bool ReadWholeFile(const std::wstring& path, std::string* bytes);
bool WriteWholeFile(const std::wstring& path, const std::string& bytes);

}  // namespace pclspool::wine
