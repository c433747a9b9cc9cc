// An SNMP agent of the test's own: net-snmp's snmpd on 127.0.0.1, at a
// free UDP port or at SNMP's own (161, as root), answering for the Host
// Resources printer table and the Printer MIB from a file of values the
// test rewrites (a pass script reads it at every request). Stopped by its
// pid.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/child_process.h"

namespace pclspool::apptest {

class SnmpAgent {
 public:
  explicit SnmpAgent(std::filesystem::path dir) : dir_(std::move(dir)) {}
  ~SnmpAgent() { Stop(); }
  SnmpAgent(const SnmpAgent&) = delete;
  SnmpAgent& operator=(const SnmpAgent&) = delete;

  // On `port` (0: a free one); false with *error when it does not answer.
  bool Start(int port, std::string* error);
  void Stop();
  int port() const { return port_; }
  // Its values from now on, "OID TYPE VALUE" as snmpd's pass takes them
  // ("integer 5", "string Tray 1", "octet 40 00").
  void Serve(const std::vector<std::string>& values);

 private:
  std::filesystem::path dir_;
  int port_ = 0;
  testing::ChildProcess agent_;
};

// Empty when snmpd can run; else what is missing.
std::string MissingSnmpd();

}  // namespace pclspool::apptest
