#include "pages/group_status_model.h"

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

void GroupStatusModel::Append(std::span<const GroupStatusRow> rows) {
  if (rows.empty()) return;
  const int first = static_cast<int>(m_rows.size());
  beginInsertRows({}, first, first + static_cast<int>(rows.size()) - 1);
  m_rows.insert(m_rows.end(), rows.begin(), rows.end());
  endInsertRows();
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
      if (index.column() == 0 && m_icons) return m_icons(IconOf(row));
      return {};
    case kIconRole:
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
