#pragma once

#include <cstdint>

namespace tarnex {

// Positions in the tree's image list. The numbers are what the view's image list and the
// saved screenshots of operators know, so they must not be renumbered.
enum class TreeIcon : std::uint8_t {
  kSingleRoot = 0,    // grey monitor
  kConnected = 1,     // cyan screen; also every network member as built
  kWarning = 2,       // yellow screen, set by the display diagnosis
  kDisconnected = 3,  // red screen; also every serial item as built
  kGroup = 4,         // monitor group in brackets
  kGroupRoot = 5,     // four monitors
};

inline constexpr int kTreeIconCount = 6;

// The image an item shows, normal and while selected. The console always sets both to the
// same picture, but the view keeps them apart, so the model does too.
struct TreeImages {
  TreeIcon normal = TreeIcon::kDisconnected;
  TreeIcon selected = TreeIcon::kDisconnected;

  static constexpr TreeImages Both(TreeIcon icon) { return {icon, icon}; }
  friend bool operator==(const TreeImages&, const TreeImages&) = default;
};

}  // namespace tarnex
