// Who may do what, the policy of a print server: anyone may print, look
// at printers and jobs, and change or cancel their own jobs; whatever
// changes a printer, the system or another user's job needs the
// administrator, on every TCP connection (loopback included) and on every
// web page that changes something. The administrator shows one credential
// to the web pages and to IPP alike, with HTTP Basic: the administrator's
// password (any user name), or the name and password of a member of the
// administrators' group through PAM (-o auth-service=, -o admin-group=).
// From another host PAPPL asks for TLS first.
//
// The server's domain socket is trusted as PAPPL trusts it, so it is made
// its user's alone (root passes too): the sub-commands of root and of the
// server's user administer without a password.
#pragma once

#include <pappl/pappl.h>

namespace pclspool::app {

// What an IPP operation needs of its caller.
enum class Access {
  kAnyone,
  kJobOwner,       // on another user's job, the administrator
  kAdministrator,  // also every operation this list does not know
};
Access AccessOf(ipp_op_t op);

// Makes PAPPL ask the policy about every request it would authorize
// (papplSystemSetAuthCallback); the printers' pages are guarded as they
// are made (GuardPrinterPages).
void InstallAccessPolicy(pappl_system_t* system);

// For the printer-creation callback: the printer's home page, whose forms
// pause, resume, hold and print (PAPPL 1.3.1 checks nothing there), asks
// for the administrator before it takes a form.
void GuardPrinterPages(pappl_printer_t* printer);

// A listening domain socket at `path` that only its owner (and root) may
// connect to; -1 with errno when it cannot be made.
int ListenOwnerOnly(const char* path);

}  // namespace pclspool::app
