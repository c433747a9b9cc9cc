#include "cli/stop_signals.h"

#include <signal.h>

namespace pclspool::cli {

namespace {

std::atomic<bool> g_stop{false};
volatile sig_atomic_t g_stop_signal = 0;
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void OnStopSignal(int signal_number) {
  g_stop_signal = signal_number;
  g_stop.store(true);
}

}  // namespace

void CatchStopSignals() {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal the caller has us ignore stays ignored (nohup, a shell's
    // background job).
    if (::sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction sa {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    // No SA_RESTART: a read waiting for input returns, and the job stops.
    sa.sa_flags = 0;
    ::sigaction(signal_number, &sa, nullptr);
  }
}

const std::atomic<bool>* StopFlag() { return &g_stop; }

void RaiseStopSignal() {
  const int signal_number = g_stop_signal;
  if (signal_number == 0) return;
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

}  // namespace pclspool::cli
