// A printer on a socket:// device for the tests: it takes connections one
// after another on 127.0.0.1, keeps every byte of each, and can stall (stop
// reading) or read slowly, as a copier out of paper does.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pclspool::apptest {

class FakePrinter {
 public:
  FakePrinter();
  ~FakePrinter();
  FakePrinter(const FakePrinter&) = delete;
  FakePrinter& operator=(const FakePrinter&) = delete;

  std::string Uri() const { return "socket://127.0.0.1:" + std::to_string(port_); }
  // Stops reading, or reads again.
  void Stall(bool stalled) { stalled_ = stalled; }
  // At most this many bytes a tenth of a second (0: as fast as they come).
  void Slow(std::size_t bytes_per_tick) { slow_ = bytes_per_tick; }

  std::size_t Received();
  // The bytes of each connection, the first first.
  std::vector<std::string> Connections();
  bool Open();  // a connection is open now

 private:
  void Run();

  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stalled_{false};
  std::atomic<std::size_t> slow_{0};
  std::atomic<bool> done_{false};
  std::mutex mutex_;
  std::vector<std::string> connections_;
  bool open_ = false;
  std::thread thread_;
};

}  // namespace pclspool::apptest
