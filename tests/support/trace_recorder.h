#pragma once

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "platform/trace.h"

namespace tarnex::testing {

// Collects every trace line while it lives.
class TraceRecorder {
 public:
  TraceRecorder() {
    SetTraceSink([this](std::string_view line) {
      std::lock_guard lock(mutex_);
      lines_.emplace_back(line);
    });
  }
  ~TraceRecorder() { SetTraceSink({}); }
  TraceRecorder(const TraceRecorder&) = delete;
  TraceRecorder& operator=(const TraceRecorder&) = delete;

  std::vector<std::string> Lines() const {
    std::lock_guard lock(mutex_);
    return lines_;
  }
  bool Contains(const std::string& line) const {
    std::lock_guard lock(mutex_);
    return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace tarnex::testing
