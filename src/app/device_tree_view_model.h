#pragma once

#include <QStandardItemModel>
#include <functional>
#include <mutex>
#include <set>
#include <string>

#include <unordered_map>
#include <utility>
#include <vector>

#include "app/tree_icon_painter.h"
#include "registry/device_tree.h"

namespace tarnex {

class CConsoleCore;

// The device tree as the Qt tree view shows it: a mirror of the core tree, brought in step on
// the UI thread after every change the core announces. The core tree is changed by workers
// too, so the view never reads it outside Sync(), which holds the console lock (the core's
// guard); items are matched by their stable handle, so the selection and the expansion
// survive every sync.
class DeviceTreeViewModel : public QStandardItemModel {
 public:
  static constexpr int kHandleRole = Qt::UserRole + 1;
  static constexpr int kNormalIconRole = Qt::UserRole + 2;
  static constexpr int kSelectedIconRole = Qt::UserRole + 3;
  static constexpr int kExpandedRole = Qt::UserRole + 4;

  explicit DeviceTreeViewModel(CConsoleCore& core, QObject* parent = nullptr);

  // Adds the items that are missing, removes the ones that are gone and updates labels and
  // icons. UI thread.
  void Sync();
  // The items whose expansion the core changed during the last Sync, for the view to follow.
  std::vector<std::pair<QModelIndex, bool>> TakeExpansionChanges();

  QModelIndex IndexOf(TreeItem item) const;
  static TreeItem HandleOf(const QModelIndex& index);

  // Dragging a "Single" display onto a group item adds it to the group: the model carries the
  // display's handle and hands the drop to `onDrop` (display, group item); the tree changes
  // through the core, never here. UI thread.
  using DropHandler = std::function<void(TreeItem display, TreeItem group)>;
  void SetDropHandler(DropHandler onDrop) { m_onDrop = std::move(onDrop); }
  QStringList mimeTypes() const override;
  QMimeData* mimeData(const QModelIndexList& indexes) const override;
  bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                       const QModelIndex& parent) const override;
  bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                    const QModelIndex& parent) override;
  Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
  Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }

 private:
  // The console lock held.
  void SyncChildren(const DeviceTree& tree, QStandardItem* mirror, TreeItem parent);
  QStandardItem* MirrorAt(QStandardItem* mirror, int row, TreeItem item);
  QStandardItem* NewItem(TreeItem item);
  void Update(const DeviceTree& tree, QStandardItem* mirror, TreeItem item);
  void RemoveRow(QStandardItem* mirror, int row);
  void Forget(QStandardItem* mirror);
  // The item's tooltip, which a display refusing the console's password carries.
  void UpdateToolTip(const DeviceTree& tree, QStandardItem* mirror, TreeItem item);

  CConsoleCore& m_core;
  TreeIconSet m_icons;
  std::unordered_map<TreeItem, QStandardItem*> m_items;
  std::vector<QStandardItem*> m_expansionChanged;
  DropHandler m_onDrop;
  // During a Sync: the addresses of the PJLink displays that refused their password.
  std::set<std::string, std::less<>> m_rejected;
};

}  // namespace tarnex
