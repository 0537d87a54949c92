#pragma once

#include <array>
#include <mutex>
#include <string>
#include <vector>

#include "links/link_state.h"

namespace tarnex::testing {

// Display addresses and history lines in memory, for tests of the links.
class RecordingLinkHost : public NetworkLinkHost {
 public:
  std::string DisplayAddress(int index) const override {
    std::lock_guard lock(mutex_);
    return LinkState::ValidIndex(index) ? addresses_[index] : std::string();
  }
  void SetDisplayAddress(int index, const std::string& address) override {
    std::lock_guard lock(mutex_);
    if (LinkState::ValidIndex(index)) addresses_[index] = address;
  }
  void LinkHistory(std::string_view address, std::string_view operation) override {
    std::lock_guard lock(mutex_);
    history_.push_back(std::string(address) + " | " + std::string(operation));
  }
  std::vector<std::string> History() const {
    std::lock_guard lock(mutex_);
    return history_;
  }

 private:
  mutable std::mutex mutex_;
  std::array<std::string, kMaxDisplays> addresses_;
  std::vector<std::string> history_;
};

}  // namespace tarnex::testing
