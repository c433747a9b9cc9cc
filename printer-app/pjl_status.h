// The copier's state as PJL status readback gives it on its print port
// (HP's Printer Job Language Technical Reference, "Status Readback
// Commands" and Appendix D, "PJL Status Codes"): the answer to
// @PJL INFO STATUS and the unsolicited @PJL USTATUS DEVICE messages, each
//
//   @PJL USTATUS DEVICE<CR><LF>
//   CODE=41202<CR><LF>
//   DISPLAY="LOAD TRAY 2"<CR><LF>
//   ONLINE=FALSE<CR><LF>
//   <FF>
//
// The copier's bytes are untrusted: a message is read only within bounds,
// and what is not a status message is left aside.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "printer-app/copier_status.h"

namespace pclspool::app {

// Asks for the copier's status once (the idle poll's own connection).
inline constexpr char kPjlStatusRequest[] = "\x1b%-12345X@PJL\r\n@PJL INFO STATUS\r\n\x1b%-12345X";
// Before a job's own data on its connection: status now, and again at
// every change while the job prints.
inline constexpr char kPjlJobPreamble[] =
    "\x1b%-12345X@PJL\r\n@PJL USTATUS DEVICE=ON\r\n@PJL INFO STATUS\r\n\x1b%-12345X";
// After it: no more unsolicited status on a connection nobody reads (the
// copier's answer would be unread when the connection closes, and a close
// with unread data resets the connection, which can cost the copier the
// end of the job).
inline constexpr char kPjlJobEpilogue[] = "\x1b%-12345X@PJL\r\n@PJL USTATUS DEVICE=OFF\r\n\x1b%-12345X";

struct PjlStatus {
  int code = 0;
  std::string display;
  bool online = true;
};

// The copier's replies as they arrive, split into messages at each form
// feed.
class PjlReplyReader {
 public:
  std::vector<std::string> Take(std::string_view bytes);

 private:
  std::string pending_;
};

// A status message (INFO STATUS or USTATUS DEVICE); nothing for any other.
std::optional<PjlStatus> ParsePjlStatus(std::string_view message);

// The conditions a status code says; nothing when the code is not the
// copier's state (a PJL parser error or warning about a command).
std::optional<std::vector<CopierCondition>> PjlConditions(const PjlStatus& status);

}  // namespace pclspool::app
