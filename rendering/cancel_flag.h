// A job's cancel flag: set from another thread or a signal handler, read
// by the job between pages and while it waits for input.
#pragma once

#include <atomic>

namespace pclspool {

// Whether the flag (null: a job that cannot be cancelled) is set.
inline bool IsCancelled(const std::atomic<bool>* flag) {
  return flag && flag->load(std::memory_order_relaxed);
}

}  // namespace pclspool
