// Where a printer's copier answers: the host and port of a socket:// device
// and of its SNMP agent, from the device URI. The URI may carry the agent's
// settings as options, as CUPS's socket backend takes its own (PAPPL takes
// options only after a path):
//
//   socket://HOST[:9100]/?snmp=off|snmp-community=NAME|snmp-port=N[&...]
#pragma once

#include <string>

namespace pclspool::app {

struct CopierAddress {
  bool network = false;  // a socket:// device, whose status can be asked
  std::string host;
  int port = 9100;
  bool snmp = true;
  std::string community = "public";
  int snmp_port = 161;
  std::string uri;  // the device URI as given

  // "HOST:PORT" for a socket:// device, else the device URI.
  std::string Text() const;
  // The same copier, asked the same way.
  bool operator==(const CopierAddress&) const = default;
};

CopierAddress CopierAddressOf(const std::string& device_uri);

}  // namespace pclspool::app
