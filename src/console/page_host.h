#pragma once

namespace tarnex {

// What the link supervision and the selection handling ask of the control pages. The property
// sheet implements it; until a page exists its calls do nothing.
//
// Threads: RefreshActivePage and the group status calls of the selection handling come on the
// UI thread. GroupDiagnosis comes from the supervision worker: an implementation must run its
// reads as a console job and hand the rows to the UI thread rather than touch a widget.
class PageHost {
 public:
  virtual ~PageHost() = default;

  virtual void RefreshActivePage() {}
  // The operator selected something else: the pages stop showing the previous selection's
  // values. UI thread.
  virtual void SelectionChanged() {}
  virtual bool GroupStatusActive() const { return false; }
  virtual void RefreshGroupStatus(int /*memberCount*/) {}
  virtual void SetGroupMemberCount(int /*memberCount*/) {}
  virtual void GroupDiagnosis(int /*memberCount*/) {}
  // The Connect command on a group while the information pages are shown: the group page
  // comes on top with the group's member count.
  virtual void ShowGroupStatus(int /*memberCount*/) {}
};

}  // namespace tarnex
