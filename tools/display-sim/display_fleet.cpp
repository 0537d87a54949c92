#include "display-sim/display_fleet.h"

namespace tarnex::sim {

DisplayFleet::DisplayFleet(std::string logPath) : log_(logPath) {}

DisplayFleet::~DisplayFleet() {
  std::lock_guard lock(mutex_);
  displays_.clear();
  pjlinks_.clear();
}

SimDisplay& DisplayFleet::Add(const DisplayOptions& options) {
  auto display = std::make_unique<SimDisplay>(options, log_, loop_);
  std::lock_guard lock(mutex_);
  displays_.push_back(std::move(display));
  return *displays_.back();
}

PjlinkDisplay& DisplayFleet::AddPjlink(const PjlinkOptions& options) {
  auto display = std::make_unique<PjlinkDisplay>(options, log_, loop_);
  std::lock_guard lock(mutex_);
  pjlinks_.push_back(std::move(display));
  return *pjlinks_.back();
}

SimDisplay* DisplayFleet::Find(std::string_view address) {
  std::lock_guard lock(mutex_);
  for (const auto& display : displays_) {
    if (display->Address() == address) return display.get();
  }
  return nullptr;
}

std::vector<LogEntry> DisplayFleet::Log() const {
  return log_.Entries();
}

std::vector<std::string> DisplayFleet::CommandsTo(std::string_view address) const {
  return log_.CommandsTo(address);
}

void DisplayFleet::ClearLog() {
  log_.Clear();
}

}  // namespace tarnex::sim
