// A copier on a socket:// device for the tests: it takes connections one
// after another on 127.0.0.1, counts their bytes, can stall (stop reading)
// or read slowly, as a copier out of paper does, refuse connections, as a
// copier switched off does, and answers PJL status requests with the
// status it is given (and sends it unsolicited once asked to).
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace pclspool::apptest {

class FakePrinter {
 public:
  FakePrinter();
  ~FakePrinter();
  FakePrinter(const FakePrinter&) = delete;
  FakePrinter& operator=(const FakePrinter&) = delete;

  // Its device URI: without SNMP, or asking the agent at this port.
  std::string Uri(int snmp_port = 0) const;
  int port() const { return port_; }
  // Stops reading, or reads again.
  void Stall(bool stalled) { stalled_ = stalled; }
  // At most this many bytes a tenth of a second (0: as fast as they come).
  void Slow(std::size_t bytes_per_tick) { slow_ = bytes_per_tick; }
  // Reads at most this many bytes a connection, then stops, as a copier
  // whose buffer is full (0: no limit).
  void Hold(std::size_t bytes) { hold_ = bytes; }
  // Refuses connections (closing one that is open), or takes them again.
  void Refuse(bool refused) { refused_ = refused; }
  // The PJL status it reports (HP's codes: 10001 ready, 41xyy paper out...).
  void SetStatus(int code, const std::string& display, bool online);

  // The bytes of its connections that carried more than a status request.
  std::size_t Received() const { return received_; }
  bool Open() const { return open_; }  // a connection is open now
  // Those bytes themselves, once their connection has closed.
  std::string Printed() const;

 private:
  void Run();
  void Listen();
  void Answer(int conn, std::string* seen, bool* unsolicited);

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stalled_{false}, open_{false}, done_{false}, refused_{false};
  std::atomic<std::size_t> slow_{0}, received_{0}, hold_{0};
  mutable std::mutex mutex_;
  std::string status_;   // the status message
  int status_serial_ = 0;  // changes with it
  std::string printed_;
  std::thread thread_;
};

}  // namespace pclspool::apptest
