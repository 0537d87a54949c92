#include "app/device_tree_view_model.h"

#include <QMimeData>

#include <algorithm>
#include <unordered_set>

#include "app/legacy_text.h"
#include "console/console_core.h"
#include "registry/tree_labels.h"

namespace tarnex {
namespace {

TreeItem HandleAt(const QStandardItem* mirror, int row) {
  const QStandardItem* child = mirror->child(row);
  return child == nullptr ? kNoItem : child->data(DeviceTreeViewModel::kHandleRole).toUInt();
}

}  // namespace

DeviceTreeViewModel::DeviceTreeViewModel(CConsoleCore& core, QObject* parent)
    : QStandardItemModel(parent), m_core(core) {}

void DeviceTreeViewModel::Sync() {
  auto state = m_core.Lock();
  m_rejected.clear();
  const COsprelNetworkManagerDoc& doc = state->Doc();
  const int count = std::clamp(doc.m_docSocketNumber, 0, kMaxDisplays);
  for (int row = 0; row < count; ++row) {
    const DisplayRecord& record = doc.m_docDisplays[static_cast<size_t>(row)];
    if (record.m_linkKind != LinkKind::kPjlink) continue;
    const DisplayFacts* facts = state->FactsOf(state->IdAt(row));
    if (facts != nullptr && facts->pjlink.authFailed) m_rejected.insert(record.m_address);
  }
  SyncChildren(state->Tree(), invisibleRootItem(), kNoItem);
}

std::vector<std::pair<QModelIndex, bool>> DeviceTreeViewModel::TakeExpansionChanges() {
  std::vector<std::pair<QModelIndex, bool>> changes;
  for (QStandardItem* mirror : m_expansionChanged) {
    changes.emplace_back(mirror->index(), mirror->data(kExpandedRole).toBool());
  }
  m_expansionChanged.clear();
  return changes;
}

QModelIndex DeviceTreeViewModel::IndexOf(TreeItem item) const {
  const auto found = m_items.find(item);
  return found == m_items.end() ? QModelIndex() : found->second->index();
}

TreeItem DeviceTreeViewModel::HandleOf(const QModelIndex& index) {
  return index.isValid() ? index.data(kHandleRole).toUInt() : kNoItem;
}

// The core only appends and removes, so after the rows that are gone are removed, the mirror's
// rows are a prefix-ordered subset of the core's children and new items slot in at their row.
void DeviceTreeViewModel::SyncChildren(const DeviceTree& tree, QStandardItem* mirror,
                                       TreeItem parent) {
  const auto children = tree.Model().Children(parent);
  const std::unordered_set<TreeItem> wanted(children.begin(), children.end());
  for (int row = mirror->rowCount() - 1; row >= 0; --row) {
    if (wanted.count(HandleAt(mirror, row)) == 0) RemoveRow(mirror, row);
  }
  for (int row = 0; row < static_cast<int>(children.size()); ++row) {
    const TreeItem item = children[static_cast<size_t>(row)];
    QStandardItem* child = MirrorAt(mirror, row, item);
    Update(tree, child, item);
    SyncChildren(tree, child, item);
  }
}

// The mirror of `item` at `row`: found there, moved there, or made there.
QStandardItem* DeviceTreeViewModel::MirrorAt(QStandardItem* mirror, int row, TreeItem item) {
  if (HandleAt(mirror, row) == item) return mirror->child(row);
  for (int later = row + 1; later < mirror->rowCount(); ++later) {
    if (HandleAt(mirror, later) != item) continue;
    QList<QStandardItem*> taken = mirror->takeRow(later);
    mirror->insertRow(row, taken);
    return taken.front();
  }
  QStandardItem* created = NewItem(item);
  mirror->insertRow(row, created);
  return created;
}

QStandardItem* DeviceTreeViewModel::NewItem(TreeItem item) {
  auto* mirror = new QStandardItem;
  mirror->setEditable(false);
  mirror->setDragEnabled(false);
  mirror->setDropEnabled(false);
  mirror->setData(item, kHandleRole);
  m_items[item] = mirror;
  return mirror;
}

// Only what differs is set, so a sync after a change of one icon repaints one row.
void DeviceTreeViewModel::Update(const DeviceTree& tree, QStandardItem* mirror, TreeItem item) {
  const TreeModel& model = tree.Model();
  const QString label = DecodeText(model.Label(item));
  if (mirror->text() != label) mirror->setText(label);

  const TreeImages images = model.Images(item);
  const QVariant normal = static_cast<int>(images.normal);
  const QVariant selected = static_cast<int>(images.selected);
  if (mirror->data(kNormalIconRole) != normal || mirror->data(kSelectedIconRole) != selected) {
    mirror->setIcon(m_icons.Icon(images));
    mirror->setData(normal, kNormalIconRole);
    mirror->setData(selected, kSelectedIconRole);
  }

  // Only a network display can be dragged, and only onto a group.
  const TreeRole role = tree.RoleOf(item);
  const bool network = tree.Mode() == TreeMode::kNetwork;
  mirror->setDragEnabled(network && role == TreeRole::kSingle);
  mirror->setDropEnabled(network && role == TreeRole::kGroup);

  UpdateToolTip(tree, mirror, item);

  const QVariant expanded = model.IsExpanded(item);
  if (mirror->data(kExpandedRole) != expanded) {
    mirror->setData(expanded, kExpandedRole);
    m_expansionChanged.push_back(mirror);
  }
}

void DeviceTreeViewModel::UpdateToolTip(const DeviceTree& tree, QStandardItem* mirror,
                                        TreeItem item) {
  const TreeRole role = tree.RoleOf(item);
  const bool display = role == TreeRole::kSingle || role == TreeRole::kMember;
  const bool rejected = display && m_rejected.count(DisplayKey(tree.Model().Label(item))) > 0;
  const QString tip = rejected ? QStringLiteral("Password rejected") : QString();
  if (mirror->toolTip() == tip) return;
  mirror->setToolTip(tip);
  mirror->setData(tip, Qt::AccessibleDescriptionRole);
}

void DeviceTreeViewModel::RemoveRow(QStandardItem* mirror, int row) {
  Forget(mirror->child(row));
  mirror->removeRow(row);
}

void DeviceTreeViewModel::Forget(QStandardItem* mirror) {
  for (int row = 0; row < mirror->rowCount(); ++row) Forget(mirror->child(row));
  std::erase_if(m_expansionChanged, [mirror](QStandardItem* changed) { return changed == mirror; });
  m_items.erase(mirror->data(kHandleRole).toUInt());
}

namespace {

const QString kHandleMime = QStringLiteral("application/x-tarnex-tree-item");

}  // namespace

QStringList DeviceTreeViewModel::mimeTypes() const {
  return {kHandleMime};
}

QMimeData* DeviceTreeViewModel::mimeData(const QModelIndexList& indexes) const {
  if (indexes.size() != 1) return nullptr;
  auto* data = new QMimeData;
  data->setData(kHandleMime, QByteArray::number(HandleOf(indexes.front())));
  return data;
}

bool DeviceTreeViewModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int row,
                                          int, const QModelIndex& parent) const {
  // Onto the group item itself; between rows would read as a position the core cannot take.
  return data != nullptr && data->hasFormat(kHandleMime) && action == Qt::CopyAction && row == -1 &&
         parent.isValid() && (flags(parent) & Qt::ItemIsDropEnabled) != 0;
}

bool DeviceTreeViewModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row,
                                       int column, const QModelIndex& parent) {
  if (!canDropMimeData(data, action, row, column, parent)) return false;
  bool ok = false;
  const TreeItem display = data->data(kHandleMime).toUInt(&ok);
  if (ok && m_onDrop) m_onDrop(display, HandleOf(parent));
  return ok;
}

}  // namespace tarnex
