#pragma once

#include <string>
#include <vector>

#include "registry/tree_observer.h"

namespace tarnex {

// Keeps every notification as one line, "inserted 1:0 #3" (parent:row #item), so tests
// compare whole sequences as a Qt model adapter would see them.
class TreeEventRecorder : public TreeObserver {
 public:
  std::vector<std::string> events;

  void OnAboutToInsert(const TreeRow& w) override { Add("about-to-insert", w); }
  void OnInserted(const TreeRow& w) override { Add("inserted", w); }
  void OnAboutToRemove(const TreeRow& w) override { Add("about-to-remove", w); }
  void OnRemoved(const TreeRow& w) override { Add("removed", w); }
  void OnChanged(const TreeRow& w, TreeChange what) override { Add(Name(what), w); }
  void OnAboutToReset() override { events.emplace_back("about-to-reset"); }
  void OnReset() override { events.emplace_back("reset"); }

 private:
  static const char* Name(TreeChange what) {
    switch (what) {
      case TreeChange::kLabel:
        return "label";
      case TreeChange::kImages:
        return "images";
      case TreeChange::kExpanded:
        return "expanded";
    }
    return "?";
  }
  void Add(const char* what, const TreeRow& w) {
    events.push_back(std::string(what) + " " + std::to_string(w.parent) + ":" +
                     std::to_string(w.row) + " #" + std::to_string(w.item));
  }
};

}  // namespace tarnex
