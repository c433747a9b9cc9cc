#include "support/loopback_port.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace pclspool::testing {

namespace {

sockaddr_in Loopback(int port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  return a;
}

}  // namespace

int FreeLoopbackPort() {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return -1;
  sockaddr_in a = Loopback(0);
  socklen_t len = sizeof(a);
  int port = -1;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) == 0 &&
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
    port = ntohs(a.sin_port);
  }
  ::close(s);
  return port;
}

bool LoopbackPortAccepts(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  const sockaddr_in a = Loopback(port);
  const bool ok = ::connect(s, reinterpret_cast<const sockaddr*>(&a), sizeof(a)) == 0;
  ::close(s);
  return ok;
}

bool LoopbackPortFree(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (s < 0) return false;
  const int on = 1;
  ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
  const sockaddr_in a = Loopback(port);
  const bool ok = ::bind(s, reinterpret_cast<const sockaddr*>(&a), sizeof(a)) == 0;
  ::close(s);
  return ok;
}

}  // namespace pclspool::testing
