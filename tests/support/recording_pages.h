#pragma once

#include <vector>

#include "console/page_host.h"

namespace tarnex::testing {

// Records what the selection and the supervision asked of the pages.
class RecordingPages : public PageHost {
 public:
  void RefreshActivePage() override { ++refreshes; }
  bool GroupStatusActive() const override { return groupStatusActive; }
  void RefreshGroupStatus(int count) override { groupRefreshes.push_back(count); }
  void SetGroupMemberCount(int count) override { memberCount = count; }
  void GroupDiagnosis(int count) override { diagnoses.push_back(count); }

  int refreshes = 0;
  bool groupStatusActive = false;
  std::vector<int> groupRefreshes;
  int memberCount = -1;
  std::vector<int> diagnoses;
};

}  // namespace tarnex::testing
