// dnssd=off: nothing is announced on the network, yet every printer keeps
// its DNS-SD name, which clients ask for (printer-dns-sd-name: Windows'
// Add Printer wizard stalls on an empty one).
#pragma once

#include <string>

namespace pclspool::app {

// PAPPL announces through Avahi, which it reaches over the D-Bus system
// bus. This process's system bus address is pointed where there is no bus
// (a path in `state_dir` that is never made), so that PAPPL's DNS-SD start
// fails (it logs so) and no printer is announced. Call before the system
// runs, while the process has one thread.
void KeepDnssdOff(const std::string& state_dir);

}  // namespace pclspool::app
