// A printer that takes every byte and keeps none. It stands in for the
// real one at the end of a stored job (booklet or collated copies) that
// failed or was cancelled: DrvSplEndDoc then replays the stored pages into
// nothing, so that no part of the job is printed, and still deletes the
// page files.
#pragma once

#include "platform/platform.h"

namespace pclspool::cli {

class DiscardingSpooler final : public platform::Spooler {
 public:
  explicit DiscardingSpooler(platform::Spooler& real) : real_(real) {}

  BOOL WritePrinter(HANDLE, const void*, DWORD count, DWORD* written) noexcept override {
    if (written) *written = count;
    return kTrue;
  }
  BOOL GetPrinterW(HANDLE printer, BYTE* buf, DWORD cb, DWORD* needed) override {
    return real_.GetPrinterW(printer, buf, cb, needed);
  }
  BOOL GetJobW(HANDLE printer, DWORD job_id, BYTE* buf, DWORD cb, DWORD* needed) override {
    return real_.GetJobW(printer, job_id, buf, cb, needed);
  }

 private:
  platform::Spooler& real_;
};

}  // namespace pclspool::cli
