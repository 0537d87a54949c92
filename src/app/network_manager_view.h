#pragma once

#include <QTimer>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <ctime>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/agent_settings.h"
#include "app/operator_messages.h"
#include "app/qt_ui_host.h"
#include "app/settings_backup_dlg.h"
#include "app/tree_context_menu.h"
#include "console/console_core.h"
#include "console/group_editor.h"
#include "console/link_supervisor.h"
#include "console/page_host.h"
#include "console/selection_handler.h"
#include "console/serial_port_channel.h"
#include "monitor/alarm_queue.h"
#include "pages/property_sheet.h"

class QFrame;
class QLineEdit;
class QTreeView;

namespace tarnex {

class AgentMode;
class DeviceTreeViewModel;
class OwnerServer;
class ScheduleKeeper;

// What the view is built with. The defaults are the console's; tests shorten the tick, hand
// in their own sockets and record the messages.
struct ViewSettings {
  std::chrono::milliseconds supervisionPeriod{10000};
  SocketApi* sockets = nullptr;                // null: the real POSIX sockets
  MessagePresenter presenter;                  // empty: the modal box
  TreeContextMenu::MenuDriver treeMenuDriver;  // empty: the tree's menu is shown
  // The schedules' wall clock (empty: the system's) and how often they are looked at; a test
  // moves the clock and looks more often.
  std::function<std::time_t()> scheduleClock;
  std::chrono::milliseconds schedulePeriod{15000};
  // Set: the window runs over the site agent these settings name, and opens no link itself.
  std::optional<AgentSettingsRead> agent;
};

// The main window's form: the mode line and the device tree on the left, and on the right
// the frame that hosts the property sheet of the control pages. It owns the console core and
// routes the operator's commands to it; supervision runs on timer 1.
class COsprelNetworkManagerView : public QWidget {
 public:
  COsprelNetworkManagerView(COsprelNetworkManagerDoc& doc, ViewSettings settings,
                            QWidget* parent = nullptr);
  ~COsprelNetworkManagerView() override;

  // The start of the view, in this order: mode shown, tree built (connecting every stored
  // display, or opening the serial line) with icons propagated, alarm settings read, timer 1
  // started.
  void OnInitialUpdate();
  // Timer 1 stopped and a running supervision pass waited for; before the document closes.
  void StopSupervision();
  // The close begins: a mail in flight is given up at once. Any thread.
  void CancelMail() { m_mailStop = true; }
  // The mail worker ends, and the alarm mails that have not gone are kept in the configuration
  // folder for the next start. Once; UI thread.
  void StopMail();
  // tarnexctl's requests, answered at `socketPath` and run on the console's scheduler beside
  // the operator's work; the caller holds the owner lock. False with `error` set.
  bool ServeScripts(const std::string& socketPath, std::string* error);
  // No more requests; those in flight end as the core's stop ends their jobs. After the core's
  // Stop(); once is enough, more calls do nothing.
  void StopScripts();
  // The schedules run from the start on; their keeper, or null before the start.
  ScheduleKeeper* Schedules() { return m_schedules.get(); }
  // The schedules' clock; empty for the system's.
  const std::function<std::time_t()>& ScheduleClock() const { return m_scheduleClock; }
  // Called on the UI thread when alarm mails start failing (true) and when one goes again.
  void SetAlarmMailFailingHandler(std::function<void(bool failing)> handler) {
    m_mailFailing = std::move(handler);
  }
  // The console is closing: no box of the view's is shown any more, queued ones included.
  void SilenceMessages() { m_ui.Silence(); }

  // Where the "Please Wait..." progress of group sends is shown. UI thread.
  void SetProgressHandlers(std::function<void()> create, std::function<void(int)> setPos,
                           std::function<void()> destroy);

  // Commands.
  void OnConnect();
  void OnStatus();

  // Over the agent: no link, supervision, search, schedule or script socket of the window's.
  bool AgentRunning() const { return m_agent != nullptr; }
  AgentMode* Agent() { return m_agent.get(); }

  CConsoleCore& Core() { return m_core; }
  DeviceTreeViewModel& TreeModel() { return *m_model; }
  QTreeView* TreeView() const { return m_treeView; }
  QLineEdit* ModeEdit() const { return m_modeEdit; }
  QFrame* SheetFrame() const { return m_sheetFrame; }
  const QTimer& SupervisionTimer() const { return m_timer1; }
  CLinkSupervisor& Supervisor() { return m_supervisor; }
  CMyPropertySheet& Sheet() { return *m_pages; }
  CGroupEditor& GroupEditor() { return m_groupEditor; }
  CSerialPort& SerialPort() { return m_serialPort; }
  AlarmQueue& Alarms() { return m_alarms; }
  CSettingsBackup& Backup() { return m_backup; }

 private:
  void BuildLayout();
  void ConnectTree();
  void EnterAgentMode(AgentSettingsRead settings);
  void ShowMode();
  void TellBadAlarmAddresses();
  void StartSchedules();
  void OpenSerialLine();
  void SyncTree();
  void FollowCoreSelection();
  void OnCurrentItemChanged(const QModelIndex& current);
  void OnTimer1();
  void OnDropOnGroup(TreeItem display, TreeItem group);
  // `position` in the tree's viewport.
  void OnTreeContextMenu(const QPoint& position);
  // The context-menu key and Shift+F10 on the tree.
  bool eventFilter(QObject* watched, QEvent* event) override;
  void OnTreeMenuKey();
  // The mail worker: one alarm mail, with the settings of this moment.
  AlarmMailResult SendAlarm(AlarmKind kind, const std::string& address);
  void FollowAlarmMails();
  std::string SpoolPath();

  TreeContextMenu::MenuDriver m_treeMenuDriver;
  QtUiHost m_ui;
  // The one serial line, open in serial mode from start-up to the end.
  CSerialPort m_serialPort{m_ui};
  CSerialPortChannel m_serialChannel{m_serialPort};
  // Set at the end: a mail in flight is given up at once.
  std::atomic<bool> m_mailStop{false};
  // Outlives the core, whose workers raise the alarms; stopped before the core goes, since its
  // sender reads the core's settings.
  AlarmQueue m_alarms;
  bool m_mailStopped = false;  // UI thread
  std::function<void(bool)> m_mailFailing;
  CConsoleCore m_core;
  // The control pages in the right-hand frame; a child widget, so Qt deletes it.
  CMyPropertySheet* m_pages;
  CLinkSupervisor m_supervisor;
  CSelectionHandler m_selection;
  CGroupEditor m_groupEditor{m_core};
  // Goes before the core, after the core's stop: its requests run on the core.
  std::unique_ptr<OwnerServer> m_scripts;
  // Goes before the core, after the core's stop: its runs are the core's jobs.
  std::unique_ptr<ScheduleKeeper> m_schedules;
  // Saves and restores on a thread of its own; goes before the core, after the core's stop.
  CSettingsBackup m_backup;
  std::function<std::time_t()> m_scheduleClock;
  std::chrono::milliseconds m_schedulePeriod;
  std::chrono::milliseconds m_supervisionPeriod;
  QTimer m_timer1;
  bool m_syncing = false;

  DeviceTreeViewModel* m_model = nullptr;
  QLineEdit* m_modeEdit = nullptr;
  QTreeView* m_treeView = nullptr;
  QFrame* m_sheetFrame = nullptr;
  QMetaObject::Connection m_selectionConnection;
  // Before the widgets it shows in: it lets go of them first.
  std::unique_ptr<AgentMode> m_agent;
};

}  // namespace tarnex
