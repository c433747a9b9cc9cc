#include "support/loopback_port.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace pclspool::testing {

namespace {

// Binds (or connects) a fresh socket to the port on 127.0.0.1; the port
// it got (0: it failed).
int Try(int port, bool connect, bool reuse = false, int type = SOCK_STREAM) {
  const int s = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (s < 0) return 0;
  const int on = 1;
  if (reuse) ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  socklen_t len = sizeof(a);
  auto* address = reinterpret_cast<sockaddr*>(&a);
  const bool ok = connect ? ::connect(s, address, sizeof(a)) == 0
                          : ::bind(s, address, sizeof(a)) == 0 && ::getsockname(s, address, &len) == 0;
  ::close(s);
  return ok ? ntohs(a.sin_port) : 0;
}

}  // namespace

int FreeLoopbackPort(bool udp) {
  const int port = Try(0, false, false, udp ? SOCK_DGRAM : SOCK_STREAM);
  return port > 0 ? port : -1;
}

bool LoopbackPortAccepts(int port) { return Try(port, true) != 0; }

bool LoopbackPortFree(int port) { return Try(port, false, true) != 0; }

}  // namespace pclspool::testing
