// Ports on 127.0.0.1 for the servers the tests start (cupsd, a printer
// behind it, the printer application, an SNMP agent).
#pragma once

namespace pclspool::testing {

// A port that was free a moment ago (a UDP one for `udp`); -1 when none
// could be had.
int FreeLoopbackPort(bool udp = false);
// Whether something listens on the port and takes a connection.
bool LoopbackPortAccepts(int port);
// Whether the port can be bound again: no listener and nothing lingering.
bool LoopbackPortFree(int port);

}  // namespace pclspool::testing
