#pragma once

#include <cstddef>
#include <deque>
#include <optional>
#include <string>
#include <string_view>

namespace tarnex::sim {

// Collects received bytes into lines ending with `end` (a line feed unless told), holding at
// most `limit` bytes of an unfinished line. A peer that sends more than that without one overflows
// the buffer; the owner then drops the connection. The owner takes the whole lines after every
// append, so they stay bounded by the size of one receive.
class LineBuffer {
 public:
  explicit LineBuffer(size_t limit, char end = '\n') : limit_(limit), end_(end) {}

  // Appends received bytes; false on overflow (everything held is dropped then).
  bool Append(std::string_view bytes);
  // The next whole line, its end included, or nullopt.
  std::optional<std::string> NextLine();

 private:
  size_t limit_;
  char end_;
  std::string partial_;
  std::deque<std::string> lines_;
};

}  // namespace tarnex::sim
