#pragma once

#include <mutex>

#include "console/console_core.h"
#include "registry/tree_access.h"

namespace tarnex::testing {

// The console lock's stand-in for a dialog or a mirror tested without a console.
class PlainLocks : public TreeAccess, public DocumentAccess {
 public:
  std::unique_lock<std::mutex> LockTree() override { return std::unique_lock(mutex_); }
  std::unique_lock<std::mutex> LockDocument() override { return std::unique_lock(mutex_); }

 private:
  std::mutex mutex_;
};

}  // namespace tarnex::testing
