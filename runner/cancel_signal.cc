#include "runner/cancel_signal.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace pclspool::runner {

namespace {

std::atomic<bool> g_cancelled{false};
int g_null = -1;  // /dev/null, opened before any signal can come

// A lock-free atomic store and dup2 are safe in a signal handler.
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnTerminate(int) {
  g_cancelled.store(true, std::memory_order_relaxed);
  if (g_null >= 0) ::dup2(g_null, STDOUT_FILENO);
}

}  // namespace

const std::atomic<bool>* InstallSignalHandlers() {
  g_null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
  struct sigaction term {};
  term.sa_handler = OnTerminate;
  sigemptyset(&term.sa_mask);
  term.sa_flags = 0;  // no SA_RESTART: blocked calls return with EINTR
  sigaction(SIGTERM, &term, nullptr);

  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  sigaction(SIGPIPE, &ignore, nullptr);
  // A file that reaches its size limit is a failed write too.
  sigaction(SIGXFSZ, &ignore, nullptr);
  return &g_cancelled;
}

}  // namespace pclspool::runner
