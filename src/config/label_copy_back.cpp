#include <algorithm>

#include "config/group_tables.h"
#include "config/network_manager_doc.h"

namespace tarnex {
namespace {

// Member labels of group g come from the g-th group item; a group keeps its member count, so
// only as many labels as it has members are taken.
void CopyMemberLabels(const std::vector<std::vector<std::string>>& fromTree, int groupCount,
                      std::vector<GroupRecord>& groups) {
  const size_t count = std::min(fromTree.size(), static_cast<size_t>(groupCount));
  for (size_t g = 0; g < count; ++g) {
    std::vector<std::string>& labels = groups[g].m_labels;
    const size_t members = std::min(labels.size(), fromTree[g].size());
    std::copy_n(fromTree[g].begin(), members, labels.begin());
  }
}

}  // namespace

// The writer decides which tables take the labels: a network save takes the single-display
// labels and the network groups' member labels, a serial save only the serial groups'.
void COsprelNetworkManagerDoc::CopyLabelsBack(bool network) {
  if (m_labelSource == nullptr) return;
  if (network) {
    if (const auto singles = m_labelSource->SingleLabels()) {
      const size_t count = std::min(singles->size(), m_docDisplays.size());
      for (size_t i = 0; i < count; ++i) m_docDisplays[i].m_label = (*singles)[i];
    }
  }
  if (const auto members = m_labelSource->GroupMemberLabels()) {
    if (network) {
      CopyMemberLabels(*members, ClampCount(m_docGroupNumCount, kMaxGroups), m_docGroups);
    } else {
      CopyMemberLabels(*members, ClampCount(m_docSerialGroupNumCount, kMaxGroups),
                       m_docSerialGroups);
    }
  }
}

}  // namespace tarnex
