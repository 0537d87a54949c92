#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/history_report.h"
#include "config/label_source.h"
#include "config/network_manager_doc.h"
#include "console/job_queue.h"
#include "links/network_link.h"
#include "platform/alarm_mailer.h"
#include "platform/cancel_token.h"
#include "platform/sleeper.h"
#include "platform/socket_api.h"
#include "platform/ui_host.h"
#include "registry/device_tree.h"
#include "registry/tree_access.h"

namespace tarnex {

class CCommandTransaction;
class SerialChannel;

// The lock of the document for a dialog that reads and edits it while workers run.
class DocumentAccess {
 public:
  virtual ~DocumentAccess() = default;
  virtual std::unique_lock<std::mutex> LockDocument() = 0;
};

// The main view's duties without the window: the document, the device tree, the network
// links, the serial line and the command transaction.
//
// Threads: the UI thread, the console's job worker, the supervision worker and the backup
// workers all call in. The document, the tree, the link states and the selection are reached
// only through the guard that Lock() returns (`auto state = core.Lock(); state->Doc()`); the
// lock is held for moments, never across a wait for a display (exchanges hold their display's
// channel instead), a UiHost call that waits, or a mail. Calls not on the guard take the lock
// themselves, so they must not be made while holding it.
class CConsoleCore : public NetworkLinkHost,
                     public LabelSource,
                     public TreeAccess,
                     public DocumentAccess {
 public:
  class State;

  CConsoleCore(COsprelNetworkManagerDoc& doc, UiHost& ui, SocketApi& sockets = PosixSockets());
  ~CConsoleCore() override;
  CConsoleCore(const CConsoleCore&) = delete;
  CConsoleCore& operator=(const CConsoleCore&) = delete;

  // The only way to the shared state.
  State Lock();

  // The sockets and the socket calls; what the link records (states, history, addresses) is
  // reached through the guard's Link().
  CNetworkLink& Link() { return m_link; }
  CCommandTransaction& Transaction() { return *m_transaction; }
  UiHost& Ui() { return m_ui; }
  // The worker that runs the operator's waits, one after another.
  JobQueue& Jobs() { return m_jobs; }

  void SetAlarmMailer(AlarmMailer* mailer) { m_alarm = mailer; }
  void SetSerialChannel(SerialChannel* channel);
  SerialChannel* Serial();
  // Tests replace the protocol's pauses.
  void SetSleeper(Sleeper sleeper);
  // History lines are made under the lock and written after it is released, so that no
  // thread waits for the disk to take the lock. Writes every line made so far; for tests and
  // the close. Not while holding the lock.
  void FlushHistory();
  // Tests replace the writing of history lines.
  using HistoryWriter = std::function<void(const std::vector<HistoryLine>&)>;
  void SetHistoryWriter(HistoryWriter writer);
  // The pause, copied under the lock, for a wait that runs without it.
  Sleeper SleeperCopy();

  // The console is closing: every exchange and connect in flight ends at once, as failed
  // without blaming the display, and none starts to wait any more.
  void Stop() { m_stop.Cancel(); }
  bool Stopping() const { return m_stop.Cancelled(); }
  int StopFd() const { return m_stop.Fd(); }

  // ---- Tree building (initial update) ----
  // Builds the tree of the document's mode: in network mode every stored display is
  // connected once, all at once; then the icons are propagated to the members.
  void BuildTree();
  // Adds a display at m_docCurrentDisplay after connecting it; returns 1 when connected.
  int AddDiscoveredMonitor(const std::string& address);

  // Takes the lock: for callers without the guard.
  void AppendHistory(std::string_view operation);
  void AppendHistoryAt(int index, std::string_view operation);
  void AppendSerialHistory(const std::string& setNumber, std::string_view operation);

  // NetworkLinkHost: the link calls back while its caller holds the guard.
  std::string DisplayAddress(int index) const override;
  void SetDisplayAddress(int index, const std::string& address) override;
  void LinkHistory(std::string_view address, std::string_view operation) override;

  // LabelSource: the document asks while it is saved, under the guard.
  std::optional<std::vector<std::string>> SingleLabels() const override;
  std::optional<std::vector<std::vector<std::string>>> GroupMemberLabels() const override;

  // TreeAccess and DocumentAccess: the console lock, for the window's mirror of the tree and
  // the Setting dialog.
  std::unique_lock<std::mutex> LockTree() override { return std::unique_lock(m_mutex); }
  std::unique_lock<std::mutex> LockDocument() override { return std::unique_lock(m_mutex); }

 private:
  class TreeNotifier;

  void AddStoredMonitor(const DisplayRecord& record, const Connection& connection);
  int AddConnectedMonitor(const std::string& address, const Connection& connection);
  void BuildSerialTree();
  void RemoveDisplayEntry(int index);
  // Lock held.
  void AppendHistoryLocked(int index, std::string_view operation);
  void AppendSerialHistoryLocked(const std::string& setNumber, std::string_view operation);
  void MarkDisconnectedLocked(int index);
  void QueueHistoryLocked(int communicationSelect, std::string_view subject,
                          std::string_view operation);
  // Lock released: writes the lines queued, unless another thread is writing, which then
  // takes them too. Never waits.
  void WriteQueuedHistory();
  // m_historyWriting held.
  void WriteHistoryQueue();

  COsprelNetworkManagerDoc& m_doc;
  UiHost& m_ui;
  std::mutex m_mutex;
  DeviceTree m_tree;
  CNetworkLink m_link;
  CHistoryReport m_history;
  // Guarded by m_mutex; m_historyQueued says there is something in it.
  std::vector<HistoryLine> m_historyQueue;
  std::atomic<bool> m_historyQueued{false};
  // Held while lines are written: they reach the reports in the order they were made.
  std::mutex m_historyWriting;
  HistoryWriter m_historyWriter;
  std::unique_ptr<TreeNotifier> m_notifier;
  std::unique_ptr<CCommandTransaction> m_transaction;
  AlarmMailer* m_alarm = nullptr;
  SerialChannel* m_serial = nullptr;
  Sleeper m_sleep;
  bool m_bTargetIsGroup = false;
  bool m_bEmptyGroup = false;
  CancelToken m_stop;
  JobQueue m_jobs;
};

// The console lock held, and what it guards.
class CConsoleCore::State {
 public:
  ~State();
  State(const State&) = delete;
  State& operator=(const State&) = delete;

  State* operator->() { return this; }
  const State* operator->() const { return this; }

  COsprelNetworkManagerDoc& Doc() const { return m_core->m_doc; }
  DeviceTree& Tree() const { return m_core->m_tree; }
  // The link's calls that record states, history lines and addresses.
  CNetworkLink& Link() const { return m_core->m_link; }
  // The selection's target kind on the network, set by the selection handling.
  bool& TargetIsGroup() const { return m_core->m_bTargetIsGroup; }
  bool& EmptyGroup() const { return m_core->m_bEmptyGroup; }

  std::string DisplayAddress(int index) const { return m_core->DisplayAddress(index); }
  // One history line for the current display (network) or set ID (serial). An empty address
  // is first filled with the address the link last connected to.
  void AppendHistory(std::string_view operation) const;
  // One history line for the network display at `index`.
  void AppendHistoryAt(int index, std::string_view operation) const {
    m_core->AppendHistoryLocked(index, operation);
  }
  void AppendSerialHistory(const std::string& setNumber, std::string_view operation) const {
    m_core->AppendSerialHistoryLocked(setNumber, operation);
  }
  // The current display stopped answering: its items turn red, m_bConnect is 0, and its
  // socket is closed when its link was up.
  void MarkDisconnected() const {
    m_core->MarkDisconnectedLocked(m_core->m_doc.m_docCurrentDisplay);
  }
  // The same for the display at `index`, whichever display is current.
  void MarkDisconnectedAt(int index) const { m_core->MarkDisconnectedLocked(index); }
  // Queued for the mail worker; returns at once.
  void SendAlarmMail(AlarmKind kind, const std::string& address) const;

 private:
  friend class CConsoleCore;
  explicit State(CConsoleCore& core) : m_lock(core.m_mutex), m_core(&core) {}

  std::unique_lock<std::mutex> m_lock;
  CConsoleCore* m_core;
};

}  // namespace tarnex
