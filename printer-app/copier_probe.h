// Asking a copier for its state over the network, from the status poller's
// own thread (copier_watch.h): its SNMP agent, walked for the Printer MIB
// (printer_mib.h), and its print port, asked for PJL status on a
// connection of its own (pjl_status.h). Every wait is bounded; nothing here
// touches PAPPL.
#pragma once

#include "printer-app/copier_address.h"
#include "printer-app/copier_status.h"

namespace pclspool::app {

// The Printer MIB's values; false when the agent did not answer.
bool AskSnmpAgent(const CopierAddress& address, CopierStatus* status);

struct PjlProbe {
  bool connected = false;  // the print port took the connection
  bool answered = false;   // and answered with its status
  CopierStatus status;
};
PjlProbe AskPrintPort(const CopierAddress& address);

}  // namespace pclspool::app
