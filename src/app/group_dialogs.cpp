#include "app/group_dialogs.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/dialog_keys.h"

namespace tarnex {

QLineEdit* GroupEditDialog::AddEdit(QVBoxLayout* layout, const QString& label,
                                    const char* objectName, QWidget* parent) {
  auto* caption = new QLabel(label, parent);
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(objectName));
  edit->setAccessibleName(label);
  caption->setBuddy(edit);
  layout->addWidget(caption);
  layout->addWidget(edit);
  return edit;
}

void GroupEditDialog::AddButtons(QVBoxLayout* layout, QPushButton* accept, QPushButton* cancel) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(accept);
  row->addWidget(cancel);
  layout->addLayout(row);
}

void GroupEditDialog::keyPressEvent(QKeyEvent* event) {
  if (!SwallowEnterAndEscape(event)) QDialog::keyPressEvent(event);
}

QPushButton* GroupEditDialog::MakeButton(const QString& text, const char* objectName,
                                         QWidget* parent) {
  auto* button = new QPushButton(text, parent);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setAccessibleName(text);
  button->setAutoDefault(false);
  button->setDefault(false);
  return button;
}

CMakeGroupDlg::CMakeGroupDlg(Judge judge, MessagePresenter present, QWidget* parent)
    : GroupEditDialog(parent), m_judge(std::move(judge)), m_present(std::move(present)) {
  setWindowTitle(QStringLiteral("Make Group"));
  auto* layout = new QVBoxLayout(this);
  m_edit = AddEdit(layout, QStringLiteral("Group Name"), "groupNameEdit", this);
  m_set = MakeButton(QStringLiteral("Set"), "setButton", this);
  m_cancel = MakeButton(QStringLiteral("Cancel"), "cancelButton", this);
  AddButtons(layout, m_set, m_cancel);
  connect(m_set, &QPushButton::clicked, this, &CMakeGroupDlg::OnSet);
  connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void CMakeGroupDlg::OnSet() {
  m_name = m_edit->text();
  const Verdict verdict = m_judge ? m_judge(m_name) : Verdict{};
  m_accepted = verdict.close ? 1 : 0;
  if (!verdict.message.isEmpty() && m_present) m_present(this, verdict.message);
  if (verdict.close) accept();
}

CGroupSelectionDlg::CGroupSelectionDlg(const QStringList& groupNames, QWidget* parent)
    : GroupEditDialog(parent) {
  setWindowTitle(QStringLiteral("Group Selection"));
  auto* layout = new QVBoxLayout(this);
  const QString label = QStringLiteral("Group Name");
  auto* caption = new QLabel(label, this);
  m_list = new QComboBox(this);
  m_list->setObjectName(QStringLiteral("groupList"));
  m_list->setAccessibleName(label);
  caption->setBuddy(m_list);
  // In number order, as the position is the group number; nothing chosen at first.
  m_list->addItems(groupNames);
  m_list->setCurrentIndex(-1);
  layout->addWidget(caption);
  layout->addWidget(m_list);
  m_select = MakeButton(QStringLiteral("Select"), "selectButton", this);
  m_cancel = MakeButton(QStringLiteral("Cancel"), "cancelButton", this);
  AddButtons(layout, m_select, m_cancel);
  connect(m_select, &QPushButton::clicked, this, [this] {
    m_position = m_list->currentIndex();
    m_selected = true;
    accept();
  });
  connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
}

CChangeName::CChangeName(QWidget* parent) : GroupEditDialog(parent) {
  setWindowTitle(QStringLiteral("Change Name"));
  auto* layout = new QVBoxLayout(this);
  m_edit = AddEdit(layout, QStringLiteral("New Name"), "newNameEdit", this);
  m_set = MakeButton(QStringLiteral("Set"), "setButton", this);
  m_cancel = MakeButton(QStringLiteral("Cancel"), "cancelButton", this);
  AddButtons(layout, m_set, m_cancel);
  connect(m_set, &QPushButton::clicked, this, [this] {
    const QString text = m_edit->text();
    m_pending = text.isEmpty() ? QString::fromLatin1(kRemoveName) : text;
    accept();
  });
  connect(m_cancel, &QPushButton::clicked, this, [this] {
    m_pending.clear();
    reject();
  });
}

}  // namespace tarnex
