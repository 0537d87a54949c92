#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tarnex {

// Where the document finds the labels the operator sees, so that a save stores them: the
// device tree implements it. A source that has nothing to offer returns no value and the
// stored labels are written as they are.
class LabelSource {
 public:
  virtual ~LabelSource() = default;

  // The labels of the single displays, in tree order.
  virtual std::optional<std::vector<std::string>> SingleLabels() const = 0;
  // For each group item in tree order, the labels of its members in order.
  virtual std::optional<std::vector<std::vector<std::string>>> GroupMemberLabels() const = 0;
};

}  // namespace tarnex
