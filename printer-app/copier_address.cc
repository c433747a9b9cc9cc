#include "printer-app/copier_address.h"

#include <cups/cups.h>

#include <algorithm>

#include <cstdlib>

namespace pclspool::app {

namespace {

constexpr int kRawPort = 9100;

int PortOf(const std::string& text, int def) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  return !text.empty() && *end == '\0' && v > 0 && v < 65536 ? static_cast<int>(v) : def;
}

}  // namespace

std::string CopierAddress::Text() const {
  if (!network) return uri;
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

CopierAddress CopierAddressOf(const std::string& device_uri) {
  CopierAddress a;
  a.uri = device_uri;
  char scheme[32], userpass[256], host[256], resource[1024];
  int port = 0;
  if (httpSeparateURI(HTTP_URI_CODING_ALL, device_uri.c_str(), scheme, sizeof(scheme), userpass,
                      sizeof(userpass), host, sizeof(host), &port, resource,
                      sizeof(resource)) < HTTP_URI_STATUS_OK ||
      std::string(scheme) != "socket" || !host[0]) {
    return a;
  }
  a.network = true;
  a.host = host;
  a.port = port > 0 ? port : kRawPort;
  const std::string r = resource;
  const std::size_t q = r.find('?');
  for (std::size_t at = q == std::string::npos ? r.size() : q + 1; at < r.size();) {
    const std::size_t end = std::min(r.find('&', at), r.size());
    const std::string option = r.substr(at, end - at);
    const std::size_t eq = option.find('=');
    const std::string name = option.substr(0, eq);
    const std::string value = eq == std::string::npos ? "" : option.substr(eq + 1);
    if (name == "snmp") a.snmp = value != "off" && value != "no" && value != "false";
    if (name == "snmp-community" && !value.empty()) a.community = value;
    if (name == "snmp-port") a.snmp_port = PortOf(value, a.snmp_port);
    at = end + 1;
  }
  return a;
}

}  // namespace pclspool::app
