#include "app/agent_tree_model.h"

#include <map>

#include "registry/tree_labels.h"

namespace tarnex {
namespace {

constexpr int kKindRole = Qt::UserRole + 1;
constexpr int kKeyRole = Qt::UserRole + 2;
constexpr int kGroupRole = Qt::UserRole + 3;

QString Text(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QStandardItem* NewItem(const QString& text, AgentTarget::Kind kind) {
  auto* item = new QStandardItem(text);
  item->setEditable(false);
  item->setDragEnabled(false);
  item->setDropEnabled(false);
  item->setData(static_cast<int>(kind), kKindRole);
  return item;
}

// An unknown state is a link nobody saw up.
TreeIcon IconOf(const std::string& link) {
  return link == "up" || link == "busy" ? TreeIcon::kConnected : TreeIcon::kDisconnected;
}

}  // namespace

AgentTreeModel::AgentTreeModel(QObject* parent) : QStandardItemModel(parent) {}

bool AgentTreeModel::Show(const agent::RemoteSnapshot& snapshot) {
  const agent::FleetView empty;
  const agent::FleetView& fleet = snapshot.fleet ? *snapshot.fleet : empty;
  const bool rebuilt = !m_fleet || *m_fleet != fleet;
  if (rebuilt) Rebuild(fleet);
  DecorateAll(invisibleRootItem(), snapshot);
  return rebuilt;
}

void AgentTreeModel::Rebuild(const agent::FleetView& fleet) {
  clear();
  m_fleet = fleet;
  m_single = NewItem(Text(kSingleRootLabel), AgentTarget::Kind::kNothing);
  m_single->setIcon(m_icons.Icon(TreeImages::Both(TreeIcon::kSingleRoot)));
  m_groups = NewItem(Text(kGroupRootLabel), AgentTarget::Kind::kNothing);
  m_groups->setIcon(m_icons.Icon(TreeImages::Both(TreeIcon::kGroupRoot)));
  std::map<std::string, const agent::FleetView::Display*> byKey;
  for (const auto& display : fleet.displays) {
    byKey.emplace(display.key, &display);
    m_single->appendRow(DisplayItem(display));
  }
  for (const auto& group : fleet.groups) {
    QStandardItem* item = NewItem(Text(group.name), AgentTarget::Kind::kGroup);
    item->setData(Text(group.name), kGroupRole);
    item->setIcon(m_icons.Icon(TreeImages::Both(TreeIcon::kGroup)));
    for (const std::string& member : group.members) {
      const auto found = byKey.find(member);
      agent::FleetView::Display shown;
      shown.key = member;
      if (found != byKey.end()) shown = *found->second;
      item->appendRow(DisplayItem(shown));
    }
    m_groups->appendRow(item);
  }
  appendRow(m_single);
  appendRow(m_groups);
}

QStandardItem* AgentTreeModel::DisplayItem(const agent::FleetView::Display& display) {
  const std::string& label = display.label.empty() ? display.key : display.label;
  QStandardItem* item = NewItem(Text(label), AgentTarget::Kind::kDisplay);
  item->setData(Text(display.key), kKeyRole);
  return item;
}

void AgentTreeModel::DecorateAll(QStandardItem* parent, const agent::RemoteSnapshot& snapshot) {
  for (int row = 0; row < parent->rowCount(); ++row) {
    QStandardItem* item = parent->child(row);
    Decorate(item, snapshot);
    DecorateAll(item, snapshot);
  }
}

// Greyed, not gone: the operator still sees what the agent last published.
void AgentTreeModel::Decorate(QStandardItem* item, const agent::RemoteSnapshot& snapshot) {
  item->setEnabled(snapshot.Reachable());
  if (item->data(kKindRole).toInt() != static_cast<int>(AgentTarget::Kind::kDisplay)) return;
  const auto found = snapshot.states.find(item->data(kKeyRole).toString().toStdString());
  const std::string link = found != snapshot.states.end() ? found->second.link : "down";
  item->setIcon(m_icons.Icon(TreeImages::Both(IconOf(link))));
  const QString tip = link == "auth_failed" ? QStringLiteral("Password rejected") : QString();
  if (item->toolTip() == tip) return;
  item->setToolTip(tip);
  item->setData(tip, Qt::AccessibleDescriptionRole);
}

AgentTarget AgentTreeModel::TargetOf(const QModelIndex& index) {
  AgentTarget target;
  if (!index.isValid()) return target;
  target.kind = static_cast<AgentTarget::Kind>(index.data(kKindRole).toInt());
  if (target.kind == AgentTarget::Kind::kDisplay)
    target.key = index.data(kKeyRole).toString().toStdString();
  if (target.kind == AgentTarget::Kind::kGroup)
    target.group = index.data(kGroupRole).toString().toStdString();
  return target;
}

QModelIndex AgentTreeModel::IndexOf(const AgentTarget& target) const {
  if (target.kind == AgentTarget::Kind::kNothing || m_single == nullptr) return {};
  QStandardItem* parent = target.kind == AgentTarget::Kind::kGroup ? m_groups : m_single;
  for (int row = 0; row < parent->rowCount(); ++row) {
    const QModelIndex index = parent->child(row)->index();
    if (TargetOf(index) == target) return index;
  }
  return {};
}

}  // namespace tarnex
