#pragma once

#include <QMenu>
#include <array>
#include <functional>

#include "app/operator_messages.h"

class QDialog;
class QPoint;

namespace tarnex {

class CConsoleCore;
class CSettingsBackup;

// The device tree's context menu: the group commands on the current selection.
//
// Use, on the UI thread, when the tree asks for its context menu (right button or the
// context-menu key), after the selection handling has recorded the selection:
//
//   TreeContextMenu menu(core, ModalMessagePresenter(), mainWindow);
//   menu.Exec(globalPos);
//
// Exec enables the entries from the last recorded selection, shows the menu at globalPos and
// runs the chosen entry: it opens the entry's dialog, makes the edit through CGroupEditor and
// shows its message. The tree follows through its observers; nothing else has to be redrawn.
// The core's lock is taken only for moments, never while a dialog or a message is open, so
// it must not be held by the caller.
class TreeContextMenu {
 public:
  // In the menu's order.
  enum class Command {
    kMakeGroup,
    kAddToGroup,
    kDeleteProjector,
    kDeleteGroup,
    kChangeName,
    kLoadConfiguration,
    kSaveConfiguration,
    kAddPjlinkDisplay,
    kPjlinkPassword,
  };
  static constexpr int kCommandCount = 9;

  // For tests: receives each dialog instead of running it modally, fills it and presses its
  // buttons; the dialog's state when the driver returns is its result.
  using DialogDriver = std::function<void(QDialog& dialog)>;
  // For tests: receives the menu, its entries enabled, and the global position it would show
  // at, instead of showing it; returns the chosen entry, or null.
  using MenuDriver = std::function<QAction*(QMenu& menu, const QPoint& globalPos)>;

  TreeContextMenu(CConsoleCore& core, MessagePresenter present, QWidget* parent);

  // Enables, shows at the global position, and runs the chosen entry.
  void Exec(const QPoint& globalPos);
  // Every entry shown off, saying `why`, and nothing run: the tree is not the console's.
  void ExecUnavailable(const QPoint& globalPos, const QString& why);
  // Enables the entries from the last recorded selection and the active mode.
  void Refresh();
  // Runs an entry of this menu; a disabled or foreign action does nothing.
  void Run(QAction* action);

  QMenu& Menu() { return m_menu; }
  QAction* Action(Command command) const { return m_actions[static_cast<size_t>(command)]; }
  void SetDialogDriver(DialogDriver driver) { m_driver = std::move(driver); }
  void SetMenuDriver(MenuDriver driver) { m_menuDriver = std::move(driver); }
  // Runs "Save Configuration" and "Load Configuration"; without it they do nothing.
  void SetSettingsBackup(CSettingsBackup* backup) { m_backup = backup; }

 private:
  // True when the dialog ended accepted.
  bool RunDialog(QDialog& dialog);
  void Show(const std::string& message);
  void MakeGroup();
  void AddToGroup();
  void ChangeName();
  // The PJLink entries leave their exchanges to a job and tell the outcome when it ends.
  void AddPjlink();
  void ChangePjlinkPassword();

  CConsoleCore& m_core;
  MessagePresenter m_present;
  QWidget* m_parent;
  QMenu m_menu;
  std::array<QAction*, kCommandCount> m_actions{};
  DialogDriver m_driver;
  MenuDriver m_menuDriver;
  CSettingsBackup* m_backup = nullptr;
};

}  // namespace tarnex
