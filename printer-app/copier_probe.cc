#include "printer-app/copier_probe.h"

#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <optional>

#include "printer-app/pjl_status.h"
#include "printer-app/printer_mib.h"
#include "printer-app/snmp_message.h"

namespace pclspool::app {

namespace {

using Clock = std::chrono::steady_clock;

// An agent answers within a second on any network a copier sits on; one
// more try covers a lost datagram.
constexpr int kSnmpWaitMs = 1000;
constexpr int kSnmpTries = 2;
// Rows of one column: more than a copier has supplies or trays.
constexpr int kMaxRows = 64;
constexpr std::size_t kMaxDatagram = 65535;
// The print port: connecting and answering.
constexpr int kConnectWaitMs = 2000;
constexpr int kAnswerWaitMs = 2000;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// A socket connected (for UDP: bound to its peer) to host:port, or -1.
int Connect(const std::string& host, int port, int type, int wait_ms) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = type;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
  int fd = -1;
  for (addrinfo* a = found; a && fd < 0; a = a->ai_next) {
    fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
    if (fd < 0) continue;
    if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0) break;
    pollfd p{fd, POLLOUT, 0};
    int error = 0;
    socklen_t len = sizeof(error);
    if (errno != EINPROGRESS || ::poll(&p, 1, wait_ms) != 1 ||
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &len) != 0 || error != 0) {
      ::close(fd);
      fd = -1;
    }
  }
  ::freeaddrinfo(found);
  return fd;
}

int RemainingMs(Clock::time_point until) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

class SnmpSession {
 public:
  SnmpSession(const CopierAddress& a)
      : fd_(Connect(a.host, a.snmp_port, SOCK_DGRAM, 0)), community_(a.community) {}

  std::optional<SnmpResponse> Ask(SnmpRequest type, const Oid& name) {
    if (fd_.get() < 0) return std::nullopt;
    static std::atomic<int32_t> next_id{static_cast<int32_t>(::getpid() & 0x7fff) << 12};
    const int32_t id = next_id++ & 0x7fffffff;
    const std::string request = EncodeSnmpRequest(type, community_, id, {name});
    std::string datagram(kMaxDatagram, '\0');
    for (int attempt = 0; attempt < kSnmpTries; ++attempt) {
      if (::send(fd_.get(), request.data(), request.size(), MSG_NOSIGNAL) < 0) return std::nullopt;
      const auto until = Clock::now() + std::chrono::milliseconds(kSnmpWaitMs);
      for (int ms; (ms = RemainingMs(until)) > 0;) {
        pollfd p{fd_.get(), POLLIN, 0};
        if (::poll(&p, 1, ms) != 1) break;
        const ssize_t got = ::recv(fd_.get(), datagram.data(), datagram.size(), 0);
        // No agent there: the host said so (port unreachable).
        if (got < 0 && errno == ECONNREFUSED) return std::nullopt;
        if (got <= 0) continue;
        std::optional<SnmpResponse> r = DecodeSnmpResponse(std::string_view(datagram.data(), got));
        if (r && r->request_id == id) return r;
      }
    }
    return std::nullopt;
  }

  // The rows under `column`; false when the agent did not answer at all.
  bool Walk(const Oid& column, std::vector<VarBind>* values) {
    Oid at = column;
    for (int row = 0; row < kMaxRows; ++row) {
      std::optional<SnmpResponse> r = Ask(SnmpRequest::kGetNext, at);
      if (!r) return row > 0;
      // Version 1 ends a walk with noSuchName; an agent walking backwards
      // would never end.
      if (r->error_status != 0 || r->bindings.size() != 1) return true;
      VarBind& b = r->bindings[0];
      if (!OidUnder(b.name, column) || b.value.kind == SnmpValue::Kind::kMissing ||
          !std::lexicographical_compare(at.begin(), at.end(), b.name.begin(), b.name.end())) {
        return true;
      }
      at = b.name;
      values->push_back(std::move(b));
    }
    return true;
  }

 private:
  Fd fd_;
  std::string community_;
};

}  // namespace

bool AskSnmpAgent(const CopierAddress& address, CopierStatus* status) {
  SnmpSession session(address);
  std::vector<VarBind> values;
  bool first = true;
  for (const Oid& column : PrinterMibColumns()) {
    if (!session.Walk(column, &values) && first) return false;
    first = false;
  }
  *status = CopierStatusOfMib(values);
  return true;
}

PjlProbe AskPrintPort(const CopierAddress& address) {
  PjlProbe probe;
  const Fd fd(Connect(address.host, address.port, SOCK_STREAM, kConnectWaitMs));
  if (fd.get() < 0) return probe;
  probe.connected = true;
  const std::string request = kPjlStatusRequest;
  if (::send(fd.get(), request.data(), request.size(), MSG_NOSIGNAL) !=
      static_cast<ssize_t>(request.size())) {
    return probe;
  }
  PjlReplyReader reader;
  char block[4096];
  const auto until = Clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
  for (int ms; !probe.answered && (ms = RemainingMs(until)) > 0;) {
    pollfd p{fd.get(), POLLIN, 0};
    if (::poll(&p, 1, ms) != 1) break;
    const ssize_t got = ::recv(fd.get(), block, sizeof(block), 0);
    if (got <= 0) break;
    for (const std::string& message : reader.Take(std::string_view(block, got))) {
      const std::optional<PjlStatus> s = ParsePjlStatus(message);
      const auto conditions = s ? PjlConditions(*s) : std::nullopt;
      if (!conditions) continue;
      probe.answered = true;
      probe.status.conditions = *conditions;
      probe.status.display = s->display;
    }
  }
  return probe;
}

}  // namespace pclspool::app
