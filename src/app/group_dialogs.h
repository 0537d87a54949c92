#pragma once

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>

#include "app/operator_messages.h"

class QComboBox;
class QKeyEvent;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace tarnex {

// The dialogs of the group commands end only by their buttons: Enter and Escape do nothing,
// so a stray key cannot make or rename anything. Closing the window counts as Cancel.
class GroupEditDialog : public QDialog {
 public:
  using QDialog::QDialog;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // Buttons that never take Enter for themselves.
  static QPushButton* MakeButton(const QString& text, const char* objectName, QWidget* parent);
  // A labelled edit: the label names the edit for assistive tools too.
  static QLineEdit* AddEdit(QVBoxLayout* layout, const QString& label, const char* objectName,
                            QWidget* parent);
  static void AddButtons(QVBoxLayout* layout, QPushButton* accept, QPushButton* cancel);
};

// "Make Group": the name of a new group. Set hands the typed name to the judge, shows the
// judge's message if there is one, and closes only when the judge accepts; so a duplicate
// network name leaves the dialog open for another.
class CMakeGroupDlg : public GroupEditDialog {
 public:
  struct Verdict {
    QString message;  // shown to the operator when not empty
    bool close = true;
  };
  // Called with the typed text on Set; typically makes the group.
  using Judge = std::function<Verdict(const QString& name)>;

  CMakeGroupDlg(Judge judge, MessagePresenter present, QWidget* parent = nullptr);

  // The name of the last Set.
  QString Name() const { return m_name; }
  // 1 when the last Set was accepted, 0 after a refused one (the make-group accepted flag).
  int Accepted() const { return m_accepted; }

  QLineEdit* NameEdit() const { return m_edit; }
  QPushButton* SetButton() const { return m_set; }
  QPushButton* CancelButton() const { return m_cancel; }

 private:
  void OnSet();

  Judge m_judge;
  MessagePresenter m_present;
  QLineEdit* m_edit = nullptr;
  QPushButton* m_set = nullptr;
  QPushButton* m_cancel = nullptr;
  QString m_name;
  int m_accepted = 0;
};

// "Group Selection": one of the active mode's groups, listed in number order.
class CGroupSelectionDlg : public GroupEditDialog {
 public:
  explicit CGroupSelectionDlg(const QStringList& groupNames, QWidget* parent = nullptr);

  // The list position chosen, -1 when none; meaningful after Select.
  int Position() const { return m_position; }
  // True when the dialog ended with Select, false with Cancel.
  bool Selected() const { return m_selected; }

  QComboBox* GroupList() const { return m_list; }
  QPushButton* SelectButton() const { return m_select; }
  QPushButton* CancelButton() const { return m_cancel; }

 private:
  QComboBox* m_list = nullptr;
  QPushButton* m_select = nullptr;
  QPushButton* m_cancel = nullptr;
  int m_position = -1;
  bool m_selected = false;
};

// "Change Name": the new name of the selected display.
class CChangeName : public GroupEditDialog {
 public:
  static constexpr const char* kRemoveName = "NULL";

  explicit CChangeName(QWidget* parent = nullptr);

  // The pending display name: the typed name after Set, "NULL" after Set on an empty field
  // (the name is removed), empty after Cancel.
  QString Pending() const { return m_pending; }

  QLineEdit* NameEdit() const { return m_edit; }
  QPushButton* SetButton() const { return m_set; }
  QPushButton* CancelButton() const { return m_cancel; }

 private:
  QLineEdit* m_edit = nullptr;
  QPushButton* m_set = nullptr;
  QPushButton* m_cancel = nullptr;
  QString m_pending;
};

}  // namespace tarnex
