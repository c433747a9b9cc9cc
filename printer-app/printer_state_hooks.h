// Where PAPPL 1.3.1 makes a printer's state for clients and its web pages,
// the copier's own state takes part (printer_view.h). PAPPL has no call for
// a printer's state message nor for reasons beyond its bits, and calls a
// printer whose device it cannot open "stopped": so this program defines
// four of libpappl's functions itself, each calling PAPPL's own first
// (found with dlsym) and mending what it made:
//
//   _papplPrinterCopyStateNoLock  printer-state, -state-reasons and
//       -state-message wherever PAPPL makes them: Get-Printer-Attributes,
//       Get-Printers, the system's printers, event notifications;
//   papplPrinterGetState          the state PAPPL's web pages show;
//   papplSystemRun                the copier watch runs while the system
//       does: it starts with it, and stops before PAPPL deletes it;
//   _papplPrinterCopyAttributesNoLock  two of the copier's capabilities
//       wherever PAPPL writes a printer's attributes for a client: it adds
//       copies-supported 1-999 itself, and finishings-supported from its
//       own finishings, which have no booklet-maker; a driver's own would
//       be second attributes of those names, which clients never read. So
//       copies-supported says what the runner takes (runner::MaxCopies()),
//       and finishings-supported the catalogue's finishings, none and
//       booklet-maker.
//
// libpappl calls all three through its procedure linkage table (the
// executable's definitions take their place); without a watch they are
// PAPPL's own.
#pragma once

#include <pappl/pappl.h>

namespace pclspool::app {

class CopierWatch;

// The watch clients' requests read, run with the system; null for none.
void ShowCopierStates(CopierWatch* watch);

// pappl_pr_status_cb_t: a client asks for the printer's state (PAPPL calls
// it while the printer is idle); its copier is asked again soon.
bool CopierStateAsked(pappl_printer_t* printer);

// The state PAPPL itself keeps.
ipp_pstate_t RealPrinterState(pappl_printer_t* printer);

}  // namespace pclspool::app
