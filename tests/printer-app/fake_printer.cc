#include "fake_printer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <string_view>

#include "printer-app/pjl_status.h"

namespace pclspool::apptest {

namespace {

constexpr char kInfo[] = "@PJL INFO STATUS";
constexpr char kOn[] = "@PJL USTATUS DEVICE=ON";
constexpr char kOff[] = "@PJL USTATUS DEVICE=OFF";

void Send(int conn, const std::string& head, const std::string& status) {
  const std::string m = head + "\r\n" + status + "\f";
  [[maybe_unused]] const ssize_t n = ::send(conn, m.data(), m.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
}

}  // namespace

FakePrinter::FakePrinter() {
  SetStatus(10001, "00 READY", true);
  Listen();
  thread_ = std::thread([this] { Run(); });
}

FakePrinter::~FakePrinter() {
  done_ = true;
  thread_.join();
  if (listener_ >= 0) ::close(listener_);
}

std::string FakePrinter::Uri(int snmp_port) const {
  const std::string uri = "socket://127.0.0.1:" + std::to_string(port_);
  if (snmp_port == 0) return uri + "/?snmp=off";
  return snmp_port == 161 ? uri : uri + "/?snmp-port=" + std::to_string(snmp_port);
}

void FakePrinter::SetStatus(int code, const std::string& display, bool online) {
  std::lock_guard<std::mutex> lock(mutex_);
  status_ = "CODE=" + std::to_string(code) + "\r\nDISPLAY=\"" + display + "\"\r\nONLINE=" +
            (online ? "TRUE" : "FALSE") + "\r\n";
  ++status_serial_;
}

std::string FakePrinter::Printed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return printed_;
}

void FakePrinter::Listen() {
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port_));
  socklen_t len = sizeof(a);
  // A small window, as a printer's: what it has not read stays with the
  // sender, not in a large buffer here. Again on the same port once it
  // takes connections again.
  const int window = 16 * 1024, on = 1;
  ::setsockopt(listener_, SOL_SOCKET, SO_RCVBUF, &window, sizeof(window));
  ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  ::listen(listener_, 4);
  ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len);
  port_ = ntohs(a.sin_port);
}

// Answers the status requests in what it has read, and keeps the end of
// it, where a request may continue.
void FakePrinter::Answer(int conn, std::string* seen, bool* unsolicited) {
  for (;;) {
    std::size_t first = std::string::npos;
    const char* found = nullptr;
    for (const char* token : {kInfo, kOn, kOff}) {
      const std::size_t at = seen->find(token);
      if (at < first) first = at, found = token;
    }
    if (!found) break;
    if (found == kInfo) {
      std::lock_guard<std::mutex> lock(mutex_);
      Send(conn, kInfo, status_);
    }
    if (found != kInfo) *unsolicited = found == kOn;
    seen->erase(0, first + std::char_traits<char>::length(found));
  }
  if (seen->size() > 64) seen->erase(0, seen->size() - 64);
}

void FakePrinter::Run() {
  int conn = -1;
  std::string bytes, seen;
  std::size_t uncounted = 0;  // bytes that may yet be a status request alone
  bool unsolicited = false;
  int sent_serial = 0;
  const auto close_conn = [&] {
    ::close(conn);
    conn = -1;
    open_ = false;
    std::lock_guard<std::mutex> lock(mutex_);
    if (bytes != pclspool::app::kPjlStatusRequest) {
      printed_ += bytes;
      received_ += uncounted;
    }
    uncounted = 0;
    bytes.clear();
    seen.clear();
    unsolicited = false;
  };
  char block[65536];
  auto tick = std::chrono::steady_clock::now();
  std::size_t this_tick = 0;
  while (!done_) {
    if (refused_) {
      if (conn >= 0) close_conn();
      if (listener_ >= 0) ::close(listener_);
      listener_ = -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    if (listener_ < 0) Listen();
    if (conn >= 0 && unsolicited) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (sent_serial != status_serial_) Send(conn, "@PJL USTATUS DEVICE", status_);
      sent_serial = status_serial_;
    }
    const bool holding = stalled_ || (hold_ > 0 && bytes.size() >= hold_);
    pollfd fd{conn >= 0 ? (holding ? -1 : conn) : listener_, POLLIN, 0};
    if (::poll(&fd, 1, 20) <= 0) continue;
    if (conn < 0) {
      conn = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      open_ = conn >= 0;
      std::lock_guard<std::mutex> lock(mutex_);
      sent_serial = status_serial_;
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
      close_conn();
      continue;
    }
    this_tick += static_cast<std::size_t>(n);
    bytes.append(block, static_cast<std::size_t>(n));
    // A connection that only asks for the status prints nothing.
    const std::string_view request = pclspool::app::kPjlStatusRequest;
    uncounted += static_cast<std::size_t>(n);
    if (bytes.size() > request.size() || request.compare(0, bytes.size(), bytes) != 0) {
      received_ += uncounted;
      uncounted = 0;
    }
    seen.append(block, static_cast<std::size_t>(n));
    Answer(conn, &seen, &unsolicited);
  }
  if (conn >= 0) close_conn();
}

}  // namespace pclspool::apptest
