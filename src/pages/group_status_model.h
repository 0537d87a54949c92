#pragma once

#include <QAbstractTableModel>
#include <QIcon>

#include <functional>
#include <span>
#include <utility>
#include <vector>

#include "monitor/group_status.h"
#include "registry/tree_icons.h"

namespace tarnex {

// The rows of the group list. Columns: status, address or set ID, name, power, input, signal,
// fan; the lamp times are kept with each row but have no column.
//
// Threads: UI thread only.
class GroupStatusModel : public QAbstractTableModel {
 public:
  // The row's icon number (1 or 3, as in the tree's set), for whoever asks without pictures;
  // none for a member not read yet.
  static constexpr int kIconRole = Qt::UserRole + 1;
  static constexpr int kColumnCount = 7;

  explicit GroupStatusModel(bool serial, QObject* parent = nullptr);

  // The pictures of the tree's icon set; none until given.
  void SetIcons(std::function<QIcon(TreeIcon)> icons);
  void Clear();
  // A read begins with a row per member. Rows already shown for the same members stay until
  // their member is read again: a re-read does not blank the list. Other rows are replaced.
  void Prepare(std::span<const GroupStatusRow> rows);
  // Members read, by position; one change for all of them.
  void SetRows(std::span<const std::pair<size_t, GroupStatusRow>> rows);
  // Every member's row at the read's end.
  void Replace(std::span<const GroupStatusRow> rows);
  const GroupStatusRow& Row(int row) const { return m_rows[static_cast<size_t>(row)]; }

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  QString Cell(const GroupStatusRow& row, int column) const;
  bool SameMembers(std::span<const GroupStatusRow> rows) const;
  void Reset(std::span<const GroupStatusRow> rows);

  bool m_serial;
  std::function<QIcon(TreeIcon)> m_icons;
  std::vector<GroupStatusRow> m_rows;
};

}  // namespace tarnex
