#include "printer-app/copier_link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "printer-app/copier_watch.h"

namespace pclspool::app {

namespace {

using Clock = std::chrono::steady_clock;

// A copier may pause a few seconds between pages; longer, it is held up.
constexpr auto kStall = std::chrono::seconds(3);
constexpr int kPollMs = 250;
// After the job: how long what the copier still says is read.
constexpr auto kDrain = std::chrono::milliseconds(250);
constexpr auto kQuiet = std::chrono::milliseconds(50);
constexpr char kWaiting[] = "waiting for the copier";
constexpr char kPrinting[] = "printing";

// The descriptor of PAPPL's socket device, checked (see copier_link.h).
int SocketOf(pappl_device_t* device, const CopierAddress& address) {
  const int* data = address.network ? static_cast<const int*>(papplDeviceGetData(device)) : nullptr;
  if (!data || *data < 0) return -1;
  const int fd = *data;
  struct stat st {};
  int type = 0;
  socklen_t type_len = sizeof(type);
  sockaddr_storage peer{};
  socklen_t peer_len = sizeof(peer);
  if (::fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode) ||
      ::getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &type_len) != 0 || type != SOCK_STREAM ||
      ::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_len) != 0) {
    return -1;
  }
  const int port = peer.ss_family == AF_INET
                       ? ntohs(reinterpret_cast<const sockaddr_in*>(&peer)->sin_port)
                       : peer.ss_family == AF_INET6
                             ? ntohs(reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_port)
                             : 0;
  return port == address.port ? fd : -1;
}

}  // namespace

CopierLink::CopierLink(pappl_job_t* job, pappl_device_t* device, CopierWatch& watch)
    : job_(job),
      device_(device),
      watch_(watch),
      address_(CopierAddressOf(papplPrinterGetDeviceURI(papplJobGetPrinter(job)))) {
  fd_ = SocketOf(device, address_);
  if (address_.network && fd_ < 0) {
    papplLogJob(job, PAPPL_LOGLEVEL_WARN, "The copier's connection is PAPPL's own: no status from it.");
  }
}

void CopierLink::Begin() {
  if (fd_ < 0) return;
  watch_.JobPrints(address_, true);
  // What PAPPL holds goes first.
  papplDeviceFlush(device_);
  WriteAll(reinterpret_cast<const uint8_t*>(kPjlJobPreamble), sizeof(kPjlJobPreamble) - 1);
}

bool CopierLink::Write(const uint8_t* data, std::size_t size) {
  if (fd_ < 0) return papplDeviceWrite(device_, data, size) == static_cast<ssize_t>(size);
  return WriteAll(data, size);
}

bool CopierLink::WriteAll(const uint8_t* data, std::size_t size) {
  auto progressed = Clock::now();
  while (size > 0) {
    pollfd p{fd_, static_cast<short>(POLLOUT | (reading_ ? POLLIN : 0)), 0};
    if (::poll(&p, 1, kPollMs) < 0 && errno != EINTR) return false;
    if (p.revents & POLLIN) ReadBack();
    if (p.revents & (POLLOUT | POLLERR | POLLHUP)) {
      const ssize_t sent = ::send(fd_, data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
      if (sent > 0) {
        data += sent;
        size -= static_cast<std::size_t>(sent);
        progressed = Clock::now();
        ShowProgress();
        continue;
      }
      if (sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        papplLogJob(job_, PAPPL_LOGLEVEL_ERROR, "The copier's connection failed: %s", std::strerror(errno));
        return false;
      }
    }
    if (Clock::now() - progressed >= kStall) {
      ShowWaiting();
      if (papplJobIsCanceled(job_)) return false;
    }
  }
  return true;
}

void CopierLink::ReadBack() {
  char block[4096];
  for (;;) {
    const ssize_t got = ::recv(fd_, block, sizeof(block), MSG_DONTWAIT);
    if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
      reading_ = false;  // the copier has closed its side
      return;
    }
    if (got < 0) return;
    for (const std::string& message : replies_.Take(std::string_view(block, static_cast<std::size_t>(got)))) {
      const std::optional<PjlStatus> s = ParsePjlStatus(message);
      const auto conditions = s ? PjlConditions(*s) : std::nullopt;
      if (!conditions) continue;
      papplLogJob(job_, PAPPL_LOGLEVEL_DEBUG, "The copier says %d \"%s\"%s.", s->code, s->display.c_str(),
                  s->online ? "" : ", offline");
      CopierStatus status;
      status.conditions = *conditions;
      status.display = s->display;
      watch_.JobSaid(address_, status);
    }
  }
}

void CopierLink::ShowWaiting() {
  const std::string words = JoinedWords(watch_.Report(address_).status.conditions, true);
  const std::string message = words.empty() ? kWaiting : std::string(kWaiting) + ": " + words;
  std::lock_guard<std::mutex> lock(mutex_);
  waiting_ = true;
  if (message == shown_) return;
  shown_ = message;
  papplLogJob(job_, PAPPL_LOGLEVEL_INFO, "%s", message.c_str());
  papplJobSetMessage(job_, "%s", message.c_str());
}

void CopierLink::ShowProgress() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!waiting_) return;
  waiting_ = false;
  shown_ = progress_.empty() ? kPrinting : progress_;
  papplLogJob(job_, PAPPL_LOGLEVEL_INFO, "The copier reads again.");
  papplJobSetMessage(job_, "%s", shown_.c_str());
}

void CopierLink::Progress(const std::string& message) {
  std::lock_guard<std::mutex> lock(mutex_);
  progress_ = message;
  if (waiting_) return;
  shown_ = message;
  papplJobSetMessage(job_, "%s", message.c_str());
}

void CopierLink::Finish() {
  if (fd_ < 0) return;
  WriteAll(reinterpret_cast<const uint8_t*>(kPjlJobEpilogue), sizeof(kPjlJobEpilogue) - 1);
  // A status the copier sent as the job ended is read, so that the
  // connection closes with nothing unread.
  const auto until = Clock::now() + kDrain;
  while (reading_ && Clock::now() < until) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(kQuiet.count())) != 1) break;
    ReadBack();
  }
  watch_.JobSaid(address_, std::nullopt);
  watch_.JobPrints(address_, false);
}

}  // namespace pclspool::app
