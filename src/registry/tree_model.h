#pragma once

#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "registry/tree_icons.h"
#include "registry/tree_observer.h"

namespace tarnex {

// A tree of labelled items with two images each, addressed by stable handles. It knows no
// rule of the console; DeviceTree puts the roots, capacities and label rules on top of it.
//
// The top level is the children of kNoItem, as the invalid index is the root in Qt.
//
// Not thread-safe: the caller holds the console's lock for every call, and observers are
// notified on the calling thread before the call returns.
class TreeModel {
 public:
  TreeModel() = default;
  TreeModel(const TreeModel&) = delete;
  TreeModel& operator=(const TreeModel&) = delete;

  void AddObserver(TreeObserver* observer);
  void RemoveObserver(TreeObserver* observer);

  // Appends a last child; kNoItem when the parent does not exist or handles ran out.
  TreeItem Append(TreeItem parent, std::string_view label, TreeImages images);
  // Removes the item with its subtree; false when it does not exist.
  bool Remove(TreeItem item);
  // Removes every item; handles given so far stay unused.
  void Clear();

  bool SetLabel(TreeItem item, std::string_view label);
  bool SetImages(TreeItem item, TreeImages images);
  bool SetExpanded(TreeItem item, bool expanded);

  bool Contains(TreeItem item) const;
  // Empty, default images, kNoItem or -1 for an item that does not exist.
  const std::string& Label(TreeItem item) const;
  TreeImages Images(TreeItem item) const;
  bool IsExpanded(TreeItem item) const;
  TreeItem Parent(TreeItem item) const;
  std::span<const TreeItem> Children(TreeItem parent) const;
  int ChildCount(TreeItem parent) const;
  TreeItem Child(TreeItem parent, int row) const;
  TreeItem FirstChild(TreeItem parent) const;
  int IndexOfChild(TreeItem parent, TreeItem child) const;
  // The item's row under its parent.
  int Row(TreeItem item) const;
  size_t Size() const { return m_nodes.size(); }

 private:
  struct Node {
    std::string label;
    TreeImages images;
    TreeItem parent = kNoItem;
    std::vector<TreeItem> children;
    // The place in the parent's children, kept by Append and Remove: every change of an item
    // is announced with its row, and a scan of the siblings per announcement made marking the
    // members of a large group grow with the square of its size.
    int row = 0;
    bool expanded = false;
  };

  Node* Find(TreeItem item);
  const Node* Find(TreeItem item) const;
  std::vector<TreeItem>* ChildList(TreeItem parent);
  const std::vector<TreeItem>* ChildList(TreeItem parent) const;
  void EraseSubtree(TreeItem item);
  TreeRow RowOf(TreeItem item) const;
  template <typename Call>
  void Notify(Call call);

  std::unordered_map<TreeItem, Node> m_nodes;
  std::vector<TreeItem> m_topLevel;
  TreeItem m_lastHandle = kNoItem;
  std::vector<TreeObserver*> m_observers;
};

}  // namespace tarnex
