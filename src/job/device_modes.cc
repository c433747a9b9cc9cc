#include "job/device_modes.h"

#include <cstring>

namespace pclspool {

namespace {

constexpr int16_t kPortrait = 1;
constexpr int16_t kA4 = 9;

DevmodeBlock DriverDevmode() {
  DevmodeBlock block{};
  DEVMODEW dm{};
  const char16_t name[] = u"pclspool";
  std::memcpy(dm.dmDeviceName, name, sizeof(name));
  dm.dmSpecVersion = 0x0401;
  dm.dmDriverVersion = 0x0400;
  dm.dmSize = sizeof(DEVMODEW);
  dm.dmDriverExtra = sizeof(DriverExtra);
  dm.dmOrientation = kPortrait;
  dm.dmPaperSize = kA4;
  dm.dmCopies = 1;
  dm.dmYResolution = 600;
  std::memcpy(block.data(), &dm, sizeof(dm));
  return block;
}

}  // namespace

DevmodeBlock DriverPrinterDevmode() { return DriverDevmode(); }
DevmodeBlock DriverJobDevmode() { return DriverDevmode(); }

}  // namespace pclspool
