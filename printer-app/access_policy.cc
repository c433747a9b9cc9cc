#include "printer-app/access_policy.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "printer-app/admin_password.h"
#include "printer-app/raster_spooling.h"

// PAPPL 1.3.1's printer home page, which it exports but does not declare.
extern "C" void _papplPrinterWebHome(pappl_client_t* client, pappl_printer_t* printer);

namespace pclspool::app {

namespace {

// The caller as PAPPL names a job's owner: the authenticated user, else
// requesting-user-name, else "guest".
std::string Caller(pappl_client_t* client, ipp_t* request) {
  if (const char* user = papplClientGetUsername(client)) return user;
  const char* name = ippGetString(ippFindAttribute(request, "requesting-user-name", IPP_TAG_NAME), 0, nullptr);
  return name ? name : "guest";
}

// pappl_auth_cb_t. PAPPL asks it on every TCP connection where it would
// authorize a request, for a printer's print group and for the
// administrators alike; the answer depends on the request alone. (PAPPL
// itself answers for its domain socket, and asks for TLS from another
// host before it asks here.)
http_status_t Authorize(pappl_client_t* client, const char* /*group*/, gid_t /*gid*/, void* /*data*/) {
  // The one hook before PAPPL reads a document (raster_spooling.h).
  MarkRasterForSpooling(client);
  // Web pages ask only for what the administrator does.
  if (ipp_t* request = papplClientGetRequest(client)) {
    const Access access = AccessOf(ippGetOperation(request));
    if (access == Access::kAnyone) return HTTP_STATUS_CONTINUE;
    pappl_job_t* job = papplClientGetJob(client);
    if (access == Access::kJobOwner && job && papplJobGetUsername(job) &&
        Caller(client, request) == papplJobGetUsername(job)) {
      return HTTP_STATUS_CONTINUE;
    }
  }
  http_t* http = papplClientGetHTTP(client);
  if (!httpIsEncrypted(http) && !httpAddrLocalhost(httpGetAddress(http))) {
    return HTTP_STATUS_UPGRADE_REQUIRED;
  }
  pappl_system_t* system = papplClientGetSystem(client);
  std::string user;
  switch (CheckAdministrator(system, httpGetField(http, HTTP_FIELD_AUTHORIZATION), &user)) {
    case Login::kAdministrator:
      papplClientSetUsername(client, user.empty() ? "admin" : user.c_str());
      return HTTP_STATUS_CONTINUE;
    case Login::kNotAdministrator:
      papplLogClient(client, PAPPL_LOGLEVEL_WARN, "\"%s\" is not an administrator.", user.c_str());
      return HTTP_STATUS_FORBIDDEN;
    case Login::kWrong:
      papplLogClient(client, PAPPL_LOGLEVEL_WARN, "Wrong administrator password (user \"%s\").", user.c_str());
      return HTTP_STATUS_UNAUTHORIZED;
    case Login::kNone:
      break;
  }
  return HTTP_STATUS_UNAUTHORIZED;
}

bool PrinterHomePage(pappl_client_t* client, void* printer) {
  if (papplClientGetMethod(client) == HTTP_STATE_POST && !papplClientHTMLAuthorize(client)) {
    return true;
  }
  _papplPrinterWebHome(client, static_cast<pappl_printer_t*>(printer));
  return true;
}

}  // namespace

Access AccessOf(ipp_op_t op) {
  switch (op) {
    case IPP_OP_PRINT_JOB:
    case IPP_OP_PRINT_URI:
    case IPP_OP_VALIDATE_JOB:
    case IPP_OP_CREATE_JOB:
    case IPP_OP_GET_JOB_ATTRIBUTES:
    case IPP_OP_GET_JOBS:
    case IPP_OP_GET_PRINTER_ATTRIBUTES:
    case IPP_OP_GET_PRINTER_SUPPORTED_VALUES:
    case IPP_OP_GET_PRINTERS:
    case IPP_OP_GET_SYSTEM_ATTRIBUTES:
    case IPP_OP_CUPS_GET_DEFAULT:
    case IPP_OP_CUPS_GET_PRINTERS:
    case IPP_OP_IDENTIFY_PRINTER:
    // Notifications change nothing but the caller's subscriptions.
    case IPP_OP_CREATE_PRINTER_SUBSCRIPTIONS:
    case IPP_OP_CREATE_JOB_SUBSCRIPTIONS:
    case IPP_OP_CREATE_SYSTEM_SUBSCRIPTIONS:
    case IPP_OP_GET_SUBSCRIPTION_ATTRIBUTES:
    case IPP_OP_GET_SUBSCRIPTIONS:
    case IPP_OP_RENEW_SUBSCRIPTION:
    case IPP_OP_CANCEL_SUBSCRIPTION:
    case IPP_OP_GET_NOTIFICATIONS:
      return Access::kAnyone;
    case IPP_OP_SEND_DOCUMENT:
    case IPP_OP_SEND_URI:
    case IPP_OP_CLOSE_JOB:
    case IPP_OP_CANCEL_JOB:
    case IPP_OP_HOLD_JOB:
    case IPP_OP_RELEASE_JOB:
    case IPP_OP_RESTART_JOB:
    case IPP_OP_SET_JOB_ATTRIBUTES:
      return Access::kJobOwner;
    default:
      // Among them Cancel-My-Jobs: PAPPL 1.3.1 cancels every job of the
      // printer for it, as for Cancel-Jobs.
      return Access::kAdministrator;
  }
}

void InstallAccessPolicy(pappl_system_t* system) {
  papplSystemSetAuthCallback(system, "Basic", Authorize, nullptr);
}

void GuardPrinterPages(pappl_printer_t* printer) {
  char path[1024];
  // PAPPL adds its page at the same path right after the creation
  // callback, and keeps a path's first resource.
  papplPrinterGetPath(printer, "", path, sizeof(path));
  papplSystemAddResourceCallback(papplPrinterGetSystem(printer), path, "text/html", PrinterHomePage,
                                 printer);
}

int ListenOwnerOnly(const char* path) {
  sockaddr_un addr{};
  if (std::strlen(path) >= sizeof(addr.sun_path)) {
    errno = ENAMETOOLONG;
    return -1;
  }
  addr.sun_family = AF_LOCAL;
  std::strcpy(addr.sun_path, path);
  const int fd = ::socket(AF_LOCAL, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  ::unlink(path);
  // Bound owner-only: there is no moment at which another user could
  // connect.
  const mode_t mask = ::umask(0077);
  const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr));
  ::umask(mask);
  if (bound != 0 || ::chmod(path, 0700) != 0 || ::listen(fd, 128) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

}  // namespace pclspool::app
