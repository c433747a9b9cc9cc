#include "platform/platform.h"

#include <atomic>

namespace pclspool::platform {

namespace {
std::atomic<const Platform*> g_installed{nullptr};
}

const Platform& Get() {
  const Platform* p = g_installed.load(std::memory_order_acquire);
  return p ? *p : Default();
}

void Install(const Platform* p) { g_installed.store(p, std::memory_order_release); }

}  // namespace pclspool::platform
