// Level-2 spooler records (PRINTER_INFO_2W, JOB_INFO_2W) as GetPrinterW and
// GetJobW return them, for the platform layers that build them themselves.
#pragma once

#include <cstddef>
#include <cstring>

#include "platform/win_types.h"

namespace pclspool::platform {

// Lays out the record followed by its device-mode block (nullptr: none) in
// buf, the record's pDevMode pointing into buf, with the two-call size
// protocol: *needed always gets the size, and a buffer too small fails.
template <typename Info>
BOOL FillLevel2(const void* devmode, std::size_t devmode_size, BYTE* buf, DWORD cb,
                DWORD* needed) {
  const auto size = static_cast<DWORD>(sizeof(Info) + (devmode ? devmode_size : 0));
  if (needed) *needed = size;
  if (!buf || cb < size) return kFalse;
  std::memset(buf, 0, size);
  Info info{};
  if (devmode) {
    std::memcpy(buf + sizeof(Info), devmode, devmode_size);
    info.pDevMode = reinterpret_cast<DEVMODEW*>(buf + sizeof(Info));
  }
  std::memcpy(buf, &info, sizeof(Info));
  return kTrue;
}

}  // namespace pclspool::platform
