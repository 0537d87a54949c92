#include "display-sim/line_buffer.h"

namespace tarnex::sim {

bool LineBuffer::Append(std::string_view bytes) {
  for (const char c : bytes) {
    if (c == end_) {
      partial_.push_back(c);
      lines_.push_back(std::move(partial_));
      partial_.clear();
    } else if (partial_.size() < limit_) {
      partial_.push_back(c);
    } else {
      partial_.clear();
      lines_.clear();
      return false;
    }
  }
  return true;
}

std::optional<std::string> LineBuffer::NextLine() {
  if (lines_.empty()) return std::nullopt;
  std::string line = std::move(lines_.front());
  lines_.pop_front();
  return line;
}

}  // namespace tarnex::sim
