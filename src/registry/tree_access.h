#pragma once

#include <mutex>

namespace tarnex {

// The lock of a device tree that another thread may change: the window holds it while it
// mirrors the tree, and for no longer.
class TreeAccess {
 public:
  virtual ~TreeAccess() = default;
  virtual std::unique_lock<std::mutex> LockTree() = 0;
};

}  // namespace tarnex
