// How a printer shows its copier's state to clients and the administrator:
// the printer-state-reasons keywords and the printer-state-message words
// made of what the copier last said and whether it can be reached, and
// those attributes as PAPPL made them, mended. PAPPL 1.3.1 calls a printer
// whose device cannot be opened "stopped" and "paused", as if an
// administrator had paused it, has a fixed message for each state, and
// knows no reason beyond its bits; a job waiting for the copier and a
// copier that reports a door open, a tray empty or itself offline say so
// here instead.
#pragma once

#include <pappl/pappl.h>

#include <ctime>
#include <string>
#include <vector>

#include "printer-app/copier_status.h"

namespace pclspool::app {

// What the poller knows of one copier.
struct CopierReport {
  enum class Reach { kUnknown, kYes, kNo };
  Reach reach = Reach::kUnknown;
  CopierStatus status;  // what its sources said, together
  std::string sources;  // "SNMP", "PJL", ...
  time_t heard = 0;     // when it last answered
};

struct PrinterView {
  std::string address;  // "HOST:PORT", or the device URI
  std::vector<std::string> keywords;
  std::string message;  // printer-state-message; empty for PAPPL's own
  pappl_preason_t bits = PAPPL_PREASON_NONE;
  bool device_wait = false;  // a job waits for the device to open
  CopierReport report;
  bool operator==(const PrinterView& o) const {
    return address == o.address && keywords == o.keywords && message == o.message &&
           bits == o.bits && device_wait == o.device_wait;
  }
};

PrinterView MakeView(const std::string& address, const CopierReport& report, bool device_wait);

// The job's message while a job waits for the device to open.
std::string DeviceWaitJobMessage(const std::string& address);

// printer-state, -state-reasons and -state-message as PAPPL made them, and
// as the printer shows them.
struct StateAttributes {
  ipp_pstate_t state = IPP_PSTATE_IDLE;
  std::vector<std::string> reasons;
  std::string message;
  bool operator==(const StateAttributes&) const = default;
};

// The reasons PAPPL made of the view's bits give way to the view's own
// keywords; while a job waits for the device the printer is processing it
// (an administrator's pause still shows as moving-to-paused, and a printer
// paused while idle stays paused).
StateAttributes PresentState(const StateAttributes& pappl, const PrinterView& view);

}  // namespace pclspool::app
