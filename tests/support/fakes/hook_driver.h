// Drives the hooks the way a spooler does, for tests: one job on one
// printer of a FakePlatform, with its pages given as strings.
#pragma once

#include <string>
#include <vector>

#include "pclspool/pclspool.h"
#include "support/fakes/fake_platform.h"

namespace pclspool::testing {

inline HANDLE PrinterHandle(uintptr_t v) { return reinterpret_cast<HANDLE>(v); }

// Prints pages (each page's bytes in one buffer) as one job and returns what
// reached the printer.
inline std::string PrintJob(FakePlatform& fp, HANDLE printer, const std::vector<std::string>& pages,
                            DWORD job_id = 7) {
  if (!fp.spooler.printers.count(printer)) fp.AddPrinter(printer);
  void* job = DrvSplStartDoc(printer, job_id);
  for (const std::string& page : pages) {
    DrvSplStartPage(job);
    if (!page.empty()) {
      std::string copy = page;
      DrvSplWritePrinter(job, copy.data(), static_cast<DWORD>(copy.size()), nullptr);
    }
    DrvSplEndPage(job);
  }
  DrvSplEndDoc(job);
  DrvSplClose(job);
  return fp.spooler.printers[printer].output;
}

// Pages named "<n>" for n = 1..count.
inline std::vector<std::string> NumberedPages(int count) {
  std::vector<std::string> pages;
  for (int i = 1; i <= count; ++i) pages.push_back("<" + std::to_string(i) + ">");
  return pages;
}

inline const std::string kUelBytes = "\x1B%-12345X";

}  // namespace pclspool::testing
