#include "pages/group_status_model.h"

#include <algorithm>
#include <array>

namespace tarnex {
namespace {

constexpr std::array<const char*, GroupStatusModel::kColumnCount> kNetworkHeadings = {
    "Status", "IP Address", "Name", "Power", "Input", "Signal", "FAN"};
constexpr std::array<const char*, GroupStatusModel::kColumnCount> kSerialHeadings = {
    "Status", "Set ID", "Name", "Power", "Input", "Signal", "FAN"};

TreeIcon IconOf(const GroupStatusRow& row) {
  return row.online ? TreeIcon::kConnected : TreeIcon::kDisconnected;
}

}  // namespace

GroupStatusModel::GroupStatusModel(bool serial, QObject* parent)
    : QAbstractTableModel(parent), m_serial(serial) {}

void GroupStatusModel::SetIcons(std::function<QIcon(TreeIcon)> icons) {
  beginResetModel();
  m_icons = std::move(icons);
  endResetModel();
}

void GroupStatusModel::Clear() {
  beginResetModel();
  m_rows.clear();
  endResetModel();
}

void GroupStatusModel::Reset(std::span<const GroupStatusRow> rows) {
  beginResetModel();
  m_rows.assign(rows.begin(), rows.end());
  endResetModel();
}

bool GroupStatusModel::SameMembers(std::span<const GroupStatusRow> rows) const {
  if (rows.size() != m_rows.size()) return false;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (rows[i].key != m_rows[i].key) return false;
  }
  return true;
}

void GroupStatusModel::Prepare(std::span<const GroupStatusRow> rows) {
  if (!SameMembers(rows)) {
    Reset(rows);
    return;
  }
  std::vector<std::pair<size_t, GroupStatusRow>> known;
  for (size_t i = 0; i < rows.size(); ++i) {
    if (!rows[i].pending) known.emplace_back(i, rows[i]);
  }
  SetRows(known);
}

void GroupStatusModel::SetRows(std::span<const std::pair<size_t, GroupStatusRow>> rows) {
  size_t first = m_rows.size();
  size_t last = 0;
  for (const auto& [position, row] : rows) {
    if (position >= m_rows.size()) continue;
    m_rows[position] = row;
    first = std::min(first, position);
    last = std::max(last, position);
  }
  if (first > last) return;
  dataChanged(index(static_cast<int>(first), 0), index(static_cast<int>(last), kColumnCount - 1));
}

void GroupStatusModel::Replace(std::span<const GroupStatusRow> rows) {
  if (!SameMembers(rows)) {
    Reset(rows);
    return;
  }
  std::copy(rows.begin(), rows.end(), m_rows.begin());
  if (!m_rows.empty()) {
    dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1));
  }
}

int GroupStatusModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int GroupStatusModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumnCount;
}

QString GroupStatusModel::Cell(const GroupStatusRow& row, int column) const {
  const std::array<const std::string*, kColumnCount> cells = {
      &row.status, &row.key, &row.name, &row.power, &row.input, &row.signal, &row.fan};
  return QString::fromStdString(*cells[static_cast<size_t>(column)]);
}

QVariant GroupStatusModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount) return {};
  const GroupStatusRow& row = m_rows[static_cast<size_t>(index.row())];
  switch (role) {
    case Qt::DisplayRole:
      return Cell(row, index.column());
    case Qt::TextAlignmentRole:
      return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    case Qt::DecorationRole:
      if (index.column() == 0 && m_icons && !row.pending) return m_icons(IconOf(row));
      return {};
    case kIconRole:
      if (row.pending) return {};
      return static_cast<int>(IconOf(row));
    default:
      return {};
  }
}

QVariant GroupStatusModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount) return {};
  if (role == Qt::TextAlignmentRole) return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
  if (role != Qt::DisplayRole) return {};
  return QString::fromLatin1(
      (m_serial ? kSerialHeadings : kNetworkHeadings)[static_cast<size_t>(section)]);
}

}  // namespace tarnex
