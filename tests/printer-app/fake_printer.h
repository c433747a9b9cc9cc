// A printer on a socket:// device for the tests: it takes connections one
// after another on 127.0.0.1, counts their bytes, and can stall (stop
// reading) or read slowly, as a copier out of paper does.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

namespace pclspool::apptest {

class FakePrinter {
 public:
  FakePrinter() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(a);
    // A small window, as a printer's: what it has not read stays with the
    // sender, not in a large buffer here.
    const int window = 16 * 1024;
    ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &window, sizeof(window));
    ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    ::listen(listener_, 4);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
  }
  ~FakePrinter() {
    done_ = true;
    thread_.join();
    ::close(listener_);
  }
  FakePrinter(const FakePrinter&) = delete;
  FakePrinter& operator=(const FakePrinter&) = delete;

  std::string Uri() const { return "socket://127.0.0.1:" + std::to_string(port_); }
  // Stops reading, or reads again.
  void Stall(bool stalled) { stalled_ = stalled; }
  // At most this many bytes a tenth of a second (0: as fast as they come).
  void Slow(std::size_t bytes_per_tick) { slow_ = bytes_per_tick; }

  std::size_t Received() const { return received_; }
  bool Open() const { return open_; }  // a connection is open now

 private:
  void Run() {
    int conn = -1;
    char block[65536];
    auto tick = std::chrono::steady_clock::now();
    std::size_t this_tick = 0;
    while (!done_) {
      pollfd fd{conn >= 0 ? (stalled_ ? -1 : conn) : listener_, POLLIN, 0};
      if (::poll(&fd, 1, 20) <= 0) continue;
      if (conn < 0) {
        conn = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        open_ = conn >= 0;
        continue;
      }
      if (std::chrono::steady_clock::now() - tick > std::chrono::milliseconds(100)) {
        tick = std::chrono::steady_clock::now();
        this_tick = 0;
      }
      const std::size_t slow = slow_;
      if (slow > 0 && this_tick >= slow) continue;
      const ssize_t n = ::read(conn, block, std::min(sizeof(block), slow ? slow - this_tick : SIZE_MAX));
      if (n <= 0) {
        ::close(conn);
        conn = -1;
        open_ = false;
      } else {
        received_ += static_cast<std::size_t>(n);
        this_tick += static_cast<std::size_t>(n);
      }
    }
    if (conn >= 0) ::close(conn);
  }

  const int listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int port_ = 0;
  std::atomic<bool> stalled_{false}, open_{false}, done_{false};
  std::atomic<std::size_t> slow_{0}, received_{0};
  std::thread thread_;
};

}  // namespace pclspool::apptest
