#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

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

namespace tarnex {

class CCommandTransaction;
class SerialChannel;

// The main view's duties without the window: the document, the device tree, the network
// links, the serial line and the command transaction, all behind one lock.
//
// Threads: the UI thread, the supervision worker and the backup workers all call in. Every
// public call takes the console lock itself, except where it says otherwise. No wait for a
// display holds it: exchanges hold their display's channel instead, and blocking connects run
// without it. UiHost calls may be made with the lock held, so a UiHost must never wait for the
// UI thread from another thread.
class CConsoleCore : public NetworkLinkHost, public LabelSource {
 public:
  CConsoleCore(COsprelNetworkManagerDoc& doc, UiHost& ui, SocketApi& sockets = PosixSockets());
  ~CConsoleCore() override;
  CConsoleCore(const CConsoleCore&) = delete;
  CConsoleCore& operator=(const CConsoleCore&) = delete;

  // The console lock. Recursive, because the transaction's give-up path calls back into the
  // tree and the history under the same lock.
  std::recursive_mutex& Mutex() { return m_mutex; }
  COsprelNetworkManagerDoc& Doc() { return m_doc; }
  DeviceTree& Tree() { return m_tree; }
  CNetworkLink& Link() { return m_link; }
  CCommandTransaction& Transaction() { return *m_transaction; }
  UiHost& Ui() { return m_ui; }
  CHistoryReport& History() { return m_history; }

  // The worker that runs the operator's waits, one after another.
  JobQueue& Jobs() { return m_jobs; }

  void SetAlarmMailer(AlarmMailer* mailer) { m_alarm = mailer; }
  void SetSerialChannel(SerialChannel* channel) { m_serial = channel; }
  SerialChannel* Serial() { return m_serial; }
  // Tests replace the protocol's pauses.
  void SetSleeper(Sleeper sleeper);
  const Sleeper& Sleep() const { return m_sleep; }
  // The pause, copied under the lock, for a wait that runs without it.
  Sleeper SleeperCopy() const;

  // The console is closing: every exchange and connect in flight ends at once, as failed
  // without blaming the display, and none starts to wait any more.
  void Stop() { m_stop.Cancel(); }
  bool Stopping() const { return m_stop.Cancelled(); }
  int StopFd() const { return m_stop.Fd(); }

  // ---- Tree building (initial update) ----
  // Builds the tree of the document's mode: in network mode every stored display is
  // connected once; then the icons are propagated to the members.
  void BuildTree();
  // Adds a display at m_docCurrentDisplay after connecting it; returns 1 when connected.
  // Takes the lock itself; the connect runs without it.
  int AddDiscoveredMonitor(const std::string& address);

  // ---- Marking, for the transaction and the pages (lock held by the caller or taken) ----
  // The current display stopped answering: its items turn red, m_bConnect is 0, and its
  // socket is closed when its link was up.
  void MarkDisconnected();
  // The same for the display at `index`, whichever display is current.
  void MarkDisconnectedAt(int index);
  void MarkCurrentConnected();

  // One history line for the current display (network) or set ID (serial). An empty address
  // is first filled with the address the link last connected to.
  void AppendHistory(std::string_view operation);
  // One serial history line naming `setNumber`.
  void AppendSerialHistory(const std::string& setNumber, std::string_view operation);
  // One history line for the network display at `index`.
  void AppendHistoryAt(int index, std::string_view operation);
  // Queued for the mail worker; returns at once.
  void SendAlarmMail(AlarmKind kind, const std::string& address);

  // ---- View target state, set by the selection handling ----
  bool m_bTargetIsGroup = false;
  bool m_bEmptyGroup = false;

  // NetworkLinkHost
  std::string DisplayAddress(int index) const override;
  void SetDisplayAddress(int index, const std::string& address) override;
  void LinkHistory(std::string_view address, std::string_view operation) override;

  // LabelSource
  std::optional<std::vector<std::string>> SingleLabels() const override;
  std::optional<std::vector<std::vector<std::string>>> GroupMemberLabels() const override;

 private:
  class TreeNotifier;

  void BuildNetworkTree(const std::vector<Connection>& connections);
  int AddConnectedMonitor(const std::string& address, const Connection& connection);
  void BuildSerialTree();
  void RemoveDisplayEntry(int index);

  COsprelNetworkManagerDoc& m_doc;
  UiHost& m_ui;
  mutable std::recursive_mutex m_mutex;
  DeviceTree m_tree;
  CNetworkLink m_link;
  CHistoryReport m_history;
  std::unique_ptr<TreeNotifier> m_notifier;
  std::unique_ptr<CCommandTransaction> m_transaction;
  AlarmMailer* m_alarm = nullptr;
  SerialChannel* m_serial = nullptr;
  Sleeper m_sleep;
  CancelToken m_stop;
  JobQueue m_jobs;
};

}  // namespace tarnex
