#include "platform/platform.h"

namespace pclspool::platform {

namespace detail {

std::atomic<const Platform*> g_current{nullptr};

const Platform& FirstGet() {
  // Nothing installed yet: the default, unless an Install() came first.
  const Platform* expected = nullptr;
  const Platform* def = &Default();
  if (g_current.compare_exchange_strong(expected, def, std::memory_order_acq_rel)) return *def;
  return *expected;
}

}  // namespace detail

void Install(const Platform* p) {
  detail::g_current.store(p ? p : &Default(), std::memory_order_release);
}

}  // namespace pclspool::platform
