#include "fake_printer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace pclspool::apptest {

FakePrinter::FakePrinter() {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
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

FakePrinter::~FakePrinter() {
  done_ = true;
  thread_.join();
  ::close(listener_);
}

std::size_t FakePrinter::Received() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::size_t n = 0;
  for (const std::string& c : connections_) n += c.size();
  return n;
}

std::vector<std::string> FakePrinter::Connections() {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_;
}

bool FakePrinter::Open() {
  std::lock_guard<std::mutex> lock(mutex_);
  return open_;
}

void FakePrinter::Run() {
  int conn = -1;
  char block[65536];
  auto tick = std::chrono::steady_clock::now();
  std::size_t this_tick = 0;
  while (!done_) {
    pollfd fd{conn >= 0 ? conn : listener_, POLLIN, 0};
    if (conn >= 0 && stalled_) fd.fd = -1;
    if (::poll(&fd, 1, 20) <= 0) continue;
    if (conn < 0) {
      conn = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      std::lock_guard<std::mutex> lock(mutex_);
      connections_.emplace_back();
      open_ = conn >= 0;
      continue;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - tick > std::chrono::milliseconds(100)) {
      tick = now;
      this_tick = 0;
    }
    std::size_t want = sizeof(block);
    if (slow_ > 0) {
      if (this_tick >= slow_) continue;
      want = std::min(want, slow_ - this_tick);
    }
    const ssize_t n = ::read(conn, block, want);
    std::lock_guard<std::mutex> lock(mutex_);
    if (n <= 0) {
      ::close(conn);
      conn = -1;
      open_ = false;
    } else {
      connections_.back().append(block, static_cast<std::size_t>(n));
      this_tick += static_cast<std::size_t>(n);
    }
  }
  if (conn >= 0) ::close(conn);
}

}  // namespace pclspool::apptest
