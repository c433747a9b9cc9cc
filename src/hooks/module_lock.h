// Holds the module-wide lock for one hook's run. Every hook that works in
// module-level buffers takes it first thing, so that two jobs printing on
// two threads never use those buffers and the watermark state at the same
// time.
#pragma once

#include "platform/platform.h"

namespace pclspool {

class ModuleLock {
 public:
  // The platform is read once: the lock is given back to the one it was
  // taken from.
  ModuleLock() : module_(*platform::Get().module) { module_.LockModule(); }
  ~ModuleLock() { module_.UnlockModule(); }
  ModuleLock(const ModuleLock&) = delete;
  ModuleLock& operator=(const ModuleLock&) = delete;

 private:
  platform::Module& module_;
};

}  // namespace pclspool
