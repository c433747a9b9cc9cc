// The server's system: its options (-o NAME=VALUE on `server`), its state
// directory and what it holds, its listeners (loopback unless told
// otherwise), the copier driver, the document formats it prints, the state
// of printers and jobs from the last run (jobs interrupted then are
// aborted), and its web pages.
//
//   state-directory=DIR   where everything is kept (default: $STATE_DIRECTORY
//                         as systemd sets it, else /var/lib/pclspool-printer-app
//                         for root, else ~/.local/state/pclspool-printer-app)
//   listen-hostname=NAME  the address to listen on (default localhost; "*"
//                         for every address)
//   server-port=N         the TCP port (default: PAPPL's, 8000 and up)
//   dnssd=off             announce nothing with DNS-SD
//   log-file=FILE, log-level=LEVEL, auth-service=PAM-SERVICE,
//   admin-group=GROUP, server-hostname=NAME: as PAPPL takes them
#pragma once

#include <pappl/pappl.h>

namespace pclspool::app {

// pappl_ml_system_cb_t; `data` is the AppContext.
pappl_system_t* CreateSystem(int num_options, cups_option_t* options, void* data);

}  // namespace pclspool::app
