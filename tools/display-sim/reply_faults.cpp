#include "display-sim/reply_faults.h"

#include <algorithm>

namespace tarnex::sim {

std::string GarbageReply() {
  return "#?~ garbage ~?#x";
}

std::string OddLengthReply(std::string_view reply) {
  const size_t closing = std::min(reply.rfind('x'), reply.size());
  std::string odd(reply.substr(0, closing));
  odd += '0';
  odd += reply.substr(closing);
  return odd;
}

std::vector<std::string> SplitReply(std::string_view reply) {
  constexpr size_t kThreePieceMinimum = 6;
  if (reply.size() < 2) return {std::string(reply)};
  const size_t pieces = reply.size() >= kThreePieceMinimum ? 3 : 2;
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 1; i <= pieces; ++i) {
    const size_t end = reply.size() * i / pieces;
    parts.emplace_back(reply.substr(start, end - start));
    start = end;
  }
  return parts;
}

}  // namespace tarnex::sim
