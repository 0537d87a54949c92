#pragma once

#include <cstdint>

namespace tarnex {

// A stable handle of a tree item. It stays valid while the item exists and is never given
// to another item afterwards, so a view may keep it (a Qt model keeps it as the internal id
// of its indexes) and a stale one is simply not found.
using TreeItem = std::uint32_t;
inline constexpr TreeItem kNoItem = 0;

// Where a change happens: the parent (kNoItem for the top level), the row under it and the
// item concerned (kNoItem when it does not exist at that moment: before an insert, after a
// removal).
struct TreeRow {
  TreeItem parent = kNoItem;
  int row = -1;
  TreeItem item = kNoItem;

  friend bool operator==(const TreeRow&, const TreeRow&) = default;
};

enum class TreeChange : std::uint8_t { kLabel, kImages, kExpanded };

// Notified of every change of a tree, in the order a Qt item model must announce them:
// about-to-insert / inserted map to beginInsertRows / endInsertRows, and so on. A removal is
// announced once for the removed item; its descendants go with it.
//
// Calls come synchronously on the thread that changes the tree, while that thread holds the
// console's lock. An observer must not change the tree from a notification; a Qt adapter on
// another thread queues what it needs.
class TreeObserver {
 public:
  virtual ~TreeObserver() = default;

  virtual void OnAboutToInsert(const TreeRow& /*where*/) {}
  virtual void OnInserted(const TreeRow& /*where*/) {}
  virtual void OnAboutToRemove(const TreeRow& /*where*/) {}
  virtual void OnRemoved(const TreeRow& /*where*/) {}
  virtual void OnChanged(const TreeRow& /*where*/, TreeChange /*what*/) {}
  virtual void OnAboutToReset() {}
  virtual void OnReset() {}
};

}  // namespace tarnex
