// The server's system: its options (-o NAME=VALUE on `server`), its state
// directory and what it holds, its listeners (loopback unless told
// otherwise), who may administer it, the copier driver, the document formats it prints, the state
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
//   auth-service=SERVICE  administrators sign in through this PAM service
//                         (or service file, by its absolute path)
//   admin-group=GROUP     with it, the administrators' group (default lpadmin)
//   log-file=FILE, log-level=LEVEL, server-hostname=NAME: as PAPPL takes them
//
// Who may change what is access_policy.h's; the administrator's password,
// made at the first start when there is neither one nor PAM, is
// admin_password.h's.
#pragma once

#include <pappl/pappl.h>

namespace pclspool::app {

// pappl_ml_system_cb_t; `data` is the AppContext.
pappl_system_t* CreateSystem(int num_options, cups_option_t* options, void* data);

}  // namespace pclspool::app
