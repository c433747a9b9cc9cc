// The gate a job's output goes through: once the cancel flag is set, or
// the runner shuts it (a stored job that failed, a job that failed before
// its first page), nothing more reaches the printer and no page file is
// read back.
//
// A cancel that comes while the module replays collated copies or a
// booklet (all inside DrvSplEndDoc) cannot stop the replay loop itself; it
// makes every page file fail to open or read and every printer write fail,
// so the loop runs out at once. Page files are still created, written and
// deleted as the module asks, so that DrvSplEndDoc leaves none behind.
#pragma once

#include <atomic>

#include "platform/platform.h"
#include "rendering/cancel_flag.h"

namespace pclspool::runner {

class OutputGate {
 public:
  explicit OutputGate(const std::atomic<bool>* cancel) : cancel_(cancel) {}
  void Shut() { shut_ = true; }
  bool IsShut() const { return shut_ || IsCancelled(cancel_); }

 private:
  const std::atomic<bool>* cancel_;
  bool shut_ = false;  // set on the job's own thread, between hooks
};

class GatedSpooler final : public platform::Spooler {
 public:
  GatedSpooler(platform::Spooler& spooler, const OutputGate& gate)
      : spooler_(spooler), gate_(gate) {}

  BOOL WritePrinter(HANDLE printer, const void* bytes, DWORD count,
                    DWORD* written) noexcept override;
  BOOL GetPrinterW(HANDLE printer, BYTE* buf, DWORD cb, DWORD* needed) override;
  BOOL GetJobW(HANDLE printer, DWORD job_id, BYTE* buf, DWORD cb, DWORD* needed) override;

 private:
  platform::Spooler& spooler_;
  const OutputGate& gate_;
};

class GatedFiles final : public platform::Files {
 public:
  GatedFiles(platform::Files& files, const OutputGate& gate) : files_(files), gate_(gate) {}

  UINT GetSystemDirectoryW(WCHAR* buf, UINT size) override;
  WCHAR PathSeparator() override;
  HANDLE CreateNewHidden(const WCHAR* path) override;
  HANDLE OpenExisting(const WCHAR* path) override;
  BOOL ReadFile(HANDLE file, void* buf, DWORD count, DWORD* read) override;
  BOOL WriteFile(HANDLE file, const void* bytes, DWORD count, DWORD* written) noexcept override;
  BOOL CloseHandle(HANDLE file) override;
  BOOL DeleteFileW(const WCHAR* path) override;

 private:
  platform::Files& files_;
  const OutputGate& gate_;
};

}  // namespace pclspool::runner
