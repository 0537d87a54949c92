#pragma once

#include <optional>
#include <string>
#include <vector>

#include "config/label_source.h"
#include "config/network_manager_doc.h"
#include "console/console_core.h"

namespace tarnex {

// The document as it stands, with the labels the tree shows, copied under the console lock so
// that it is written to disk after the lock is let go: a slow disk (a network home folder)
// then holds up no worker, and a failed write is told without the lock. Writes change only
// the copy; the console's document keeps the labels in its tree until the next save.
//
// Any thread that does not hold the console lock.
class DocumentSnapshot : private LabelSource {
 public:
  explicit DocumentSnapshot(CConsoleCore& core) {
    auto state = core.Lock();
    m_doc = state->Doc();
    m_singles = core.SingleLabels();
    m_members = core.GroupMemberLabels();
    m_doc.SetLabelSource(this);
  }
  DocumentSnapshot(const DocumentSnapshot&) = delete;
  DocumentSnapshot& operator=(const DocumentSnapshot&) = delete;

  COsprelNetworkManagerDoc& Doc() { return m_doc; }

 private:
  std::optional<std::vector<std::string>> SingleLabels() const override { return m_singles; }
  std::optional<std::vector<std::vector<std::string>>> GroupMemberLabels() const override {
    return m_members;
  }

  COsprelNetworkManagerDoc m_doc;
  std::optional<std::vector<std::string>> m_singles;
  std::optional<std::vector<std::vector<std::string>>> m_members;
};

}  // namespace tarnex
