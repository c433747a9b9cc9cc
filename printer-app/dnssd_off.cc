#include "printer-app/dnssd_off.h"

#include <cstdlib>

namespace pclspool::app {

void KeepDnssdOff(const std::string& state_dir) {
  const std::string nowhere = "unix:path=" + state_dir + "/no-dbus-system-bus";
  ::setenv("DBUS_SYSTEM_BUS_ADDRESS", nowhere.c_str(), 1);
}

}  // namespace pclspool::app
