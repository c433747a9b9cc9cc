#include "snmp_agent.h"

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "support/loopback_port.h"
#include "support/test_files.h"

namespace pclspool::apptest {

namespace fs = std::filesystem;

namespace {

constexpr char kSnmpd[] = "/usr/sbin/snmpd";

}  // namespace

std::string MissingSnmpd() {
  return ::access(kSnmpd, X_OK) == 0 ? "" : "snmpd is missing (Debian package snmpd; scripts/install-deps --test)";
}

bool SnmpAgent::Start(int port, std::string* error) {
  fs::create_directories(dir_);
  port_ = port ? port : testing::FreeLoopbackPort(true);
  const std::string pass = std::string("/bin/sh ") + PCLSPOOL_APP_TEST_DIR + "/snmp_pass " + dir_.string();
  if (!fs::exists(dir_ / "values")) Serve({});
  const std::string agent = "agentAddress udp:127.0.0.1:" + std::to_string(port_) + "\n";
  std::ofstream(dir_ / "snmpd.conf")
      << agent << "rocommunity public 127.0.0.1\n"
      << "pass .1.3.6.1.2.1.25.3.5.1 " << pass << "\n"
      << "pass .1.3.6.1.2.1.43 " << pass << "\n";
  const fs::path log = dir_ / "snmpd.log";
  fs::remove(log);
  // Its own printer table gives way to the pass script's; its state files
  // stay here; no MIB files are read.
  agent_ = testing::ChildProcess(
      {.argv = {kSnmpd, "-f", "-C", "-c", (dir_ / "snmpd.conf").string(), "-Lf", log.string(), "-I",
                "-hr_print,-hr_device,-hr_other"},
       .env = {"SNMP_PERSISTENT_DIR=" + dir_.string(), "MIBS=", "MIBDIRS=" + dir_.string()},
       .out = testing::Output::File(dir_ / "snmpd.out"),
       .err = testing::Output::Stdout()});
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (agent_.started() && !agent_.Ended() && std::chrono::steady_clock::now() < until) {
    if (testing::ReadFile(log).find("NET-SNMP version") != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  *error = "snmpd did not start on port " + std::to_string(port_) + ": " + agent_.error() +
           testing::ReadFile(log) + testing::ReadFile(dir_ / "snmpd.out");
  Stop();
  return false;
}

void SnmpAgent::Stop() {
  if (agent_.started()) agent_.Stop();
  agent_ = {};
}

void SnmpAgent::Serve(const std::vector<std::string>& values) {
  std::string text;
  for (const std::string& v : values) text += v + "\n";
  fs::create_directories(dir_);
  std::ofstream(dir_ / "values.new") << text;
  fs::rename(dir_ / "values.new", dir_ / "values");
}

}  // namespace pclspool::apptest
