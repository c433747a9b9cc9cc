#include "printer-app/printer_id_commands.h"

#include <pappl/pappl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace pclspool::app {

namespace {

constexpr char kSystemUri[] = "ipp://localhost/ipp/system";
constexpr char kSystemResource[] = "/ipp/system";
constexpr int kTimeoutMs = 30000;

struct Command {
  std::string program;  // the program's base name, as PAPPL names its socket
  bool remove = false;  // delete; else default
  std::string printer;  // -d
  std::string uri;      // -u
};

// "-d NAME" or "-dNAME"; false for anything else.
bool Value(int argc, char** argv, int* i, char letter, std::string* value) {
  const std::string_view arg = argv[*i];
  if (arg.size() < 2 || arg[0] != '-' || arg[1] != letter) return false;
  if (arg.size() > 2) {
    *value = arg.substr(2);
    return true;
  }
  if (*i + 1 >= argc) return false;
  *value = argv[++*i];
  return true;
}

bool Parse(int argc, char** argv, Command* c) {
  if (argc < 2) return false;
  const std::string_view sub = argv[1];
  if (sub != "delete" && sub != "default") return false;
  c->remove = sub == "delete";
  const char* slash = std::strrchr(argv[0], '/');
  c->program = slash ? slash + 1 : argv[0];
  for (int i = 2; i < argc; ++i) {
    if (!Value(argc, argv, &i, 'd', &c->printer) && !Value(argc, argv, &i, 'u', &c->uri)) {
      return false;
    }
  }
  // `default` alone shows the default printer: PAPPL's own.
  return !c->printer.empty() || !c->uri.empty();
}

// The server's domain socket, where PAPPL's main loop puts it on Linux: the
// user's own server, then root's.
http_t* ConnectLocal(const std::string& program) {
  const std::string user = std::string(papplGetTempDir()) + "/" + program +
                           std::to_string(::getuid()) + ".sock";
  const char* snap = std::getenv("SNAP_COMMON");
  const std::string root = (snap ? std::string(snap) : std::string("/run")) + "/" + program + ".sock";
  for (const std::string& path : {user, root}) {
    if (path == user && ::getuid() == 0) continue;
    if (http_t* http = httpConnect2(path.c_str(), 0, nullptr, AF_UNSPEC,
                                    HTTP_ENCRYPTION_IF_REQUESTED, 1, kTimeoutMs, nullptr)) {
      return http;
    }
  }
  return nullptr;
}

http_t* ConnectUri(const std::string& uri) {
  char scheme[32], userpass[256], host[256], resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof(scheme), userpass,
                      sizeof(userpass), host, sizeof(host), &port, resource,
                      sizeof(resource)) < HTTP_URI_STATUS_OK) {
    return nullptr;
  }
  const http_encryption_t encryption = std::strcmp(scheme, "ipps") == 0
                                           ? HTTP_ENCRYPTION_ALWAYS
                                           : HTTP_ENCRYPTION_IF_REQUESTED;
  return httpConnect2(host, port, nullptr, AF_UNSPEC, encryption, 1, kTimeoutMs, nullptr);
}

ipp_t* NewRequest(ipp_op_t op) {
  ipp_t* request = ippNewRequest(op);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "system-uri", nullptr, kSystemUri);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr,
               cupsUser());
  return request;
}

// The name of the printer at `uri`.
std::string NameAt(http_t* http, const std::string& uri) {
  char scheme[32], userpass[256], host[256], resource[1024];
  int port = 0;
  httpSeparateURI(HTTP_URI_CODING_ALL, uri.c_str(), scheme, sizeof(scheme), userpass,
                  sizeof(userpass), host, sizeof(host), &port, resource, sizeof(resource));
  ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.c_str());
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               "printer-name");
  ipp_t* response = cupsDoRequest(http, request, resource);
  const char* name =
      ippGetString(ippFindAttribute(response, "printer-name", IPP_TAG_NAME), 0, nullptr);
  std::string found = name ? name : "";
  ippDelete(response);
  return found;
}

// The printer-id of the printer of that name; 0 when there is none.
int IdOf(http_t* http, const std::string& name) {
  ipp_t* request = NewRequest(IPP_OP_GET_SYSTEM_ATTRIBUTES);
  ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", nullptr,
               "system-configured-printers");
  ipp_t* response = cupsDoRequest(http, request, kSystemResource);
  ipp_attribute_t* printers =
      ippFindAttribute(response, "system-configured-printers", IPP_TAG_BEGIN_COLLECTION);
  int id = 0;
  for (int i = 0; i < ippGetCount(printers) && id == 0; ++i) {
    ipp_t* printer = ippGetCollection(printers, i);
    const char* n = ippGetString(ippFindAttribute(printer, "printer-name", IPP_TAG_ZERO), 0, nullptr);
    if (n && name == n) {
      id = ippGetInteger(ippFindAttribute(printer, "printer-id", IPP_TAG_INTEGER), 0);
    }
  }
  ippDelete(response);
  return id;
}

// Delete-Printer, or Set-System-Attributes with the default printer.
int Run(const Command& c, http_t* http, int id) {
  ipp_t* request = NewRequest(c.remove ? IPP_OP_DELETE_PRINTER : IPP_OP_SET_SYSTEM_ATTRIBUTES);
  if (c.remove) {
    ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "printer-id", id);
  } else {
    ippAddInteger(request, IPP_TAG_SYSTEM, IPP_TAG_INTEGER, "system-default-printer-id", id);
  }
  ippDelete(cupsDoRequest(http, request, kSystemResource));
  if (cupsLastError() == IPP_STATUS_OK) return 0;
  std::fprintf(stderr, "%s: Unable to %s: %s\n", c.program.c_str(),
               c.remove ? "delete printer" : "set default printer", cupsLastErrorString());
  return 1;
}

}  // namespace

bool RunPrinterIdCommand(int argc, char** argv, int* status) {
  Command c;
  if (!Parse(argc, argv, &c)) return false;
  http_t* http = c.uri.empty() ? ConnectLocal(c.program) : ConnectUri(c.uri);
  if (!http) return false;
  const std::string name = c.uri.empty() ? c.printer : NameAt(http, c.uri);
  const int id = name.empty() ? 0 : IdOf(http, name);
  // Not found here: PAPPL's own sub-command says so in its words.
  if (id > 0) *status = Run(c, http, id);
  httpClose(http);
  return id > 0;
}

}  // namespace pclspool::app
