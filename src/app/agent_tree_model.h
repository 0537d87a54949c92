#pragma once

#include <QStandardItemModel>
#include <optional>

#include "agent/agent_remote.h"
#include "app/tree_icon_painter.h"
#include "pages/agent_sheet.h"

namespace tarnex {

// The device tree while the window runs over a site agent: "Single" with the published
// displays and "Group" with the named groups and their members, labels as the agent published
// them, icons from the displays' states. Rebuilt when the fleet changes, otherwise only its
// icons and tooltips follow the states; everything is greyed while the agent is unreachable.
class AgentTreeModel : public QStandardItemModel {
 public:
  explicit AgentTreeModel(QObject* parent = nullptr);

  // UI thread. True when the items were made again (the selection is then gone).
  bool Show(const agent::RemoteSnapshot& snapshot);
  // What an item stands for, resolved when the operator selects it.
  static AgentTarget TargetOf(const QModelIndex& index);
  // The item of a target, invalid when the tree has none.
  QModelIndex IndexOf(const AgentTarget& target) const;

 private:
  void Rebuild(const agent::FleetView& fleet);
  QStandardItem* DisplayItem(const agent::FleetView::Display& display);
  void Decorate(QStandardItem* item, const agent::RemoteSnapshot& snapshot);
  void DecorateAll(QStandardItem* parent, const agent::RemoteSnapshot& snapshot);

  TreeIconSet m_icons;
  std::optional<agent::FleetView> m_fleet;
  QStandardItem* m_single = nullptr;
  QStandardItem* m_groups = nullptr;
};

}  // namespace tarnex
