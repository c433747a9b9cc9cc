// The sub-commands that name a printer to the server by its printer-id:
// `delete -d NAME` and `default -d NAME` (or -u PRINTER-URI).
//
// PAPPL's own versions ask the printer for its "printer-id" attribute,
// which PAPPL 1.3.1 fills with 0 for every printer added since the server
// started (the attribute is made before the printer is numbered); they
// then fail with "Unable to get information for printer". Here the id
// comes from the system's list of its printers (system-configured-
// printers), which has the numbers right.
#pragma once

namespace pclspool::app {

// Runs `argv` when it is one of those sub-commands with a server to talk
// to; *status is then its exit status. False when PAPPL's main loop should
// run it instead: another sub-command, other options, or no server
// running (PAPPL then starts one for the command, which numbers its
// printers as it loads them, correctly).
bool RunPrinterIdCommand(int argc, char** argv, int* status);

}  // namespace pclspool::app
