#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <vector>

#include "config/history_report.h"
#include "config/label_source.h"
#include "config/network_manager_doc.h"
#include "console/job_scheduler.h"
#include "console/selection.h"
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
// links, the serial line and the command transaction.
//
// Threads: the UI thread, the console's job workers, the supervision worker and the backup
// workers all call in. The document, the tree, the link states and the selection are reached
// only through the guard that Lock() returns (`auto state = core.Lock(); state->Doc()`); the
// lock is held for moments, never across a wait for a display (exchanges hold their display's
// channel instead), a UiHost call, a mail or a file write. Calls not on the guard take the
// guard themselves, so they must not be made while holding it; being counted as waiters, they
// are let in by a long hold as Lock() is (every exchange starts with SleeperCopy or Serial).
//
// The selection is one Selection value, the operator's: it is replaced on the UI thread only.
// A job carries the target captured from it when the operator acted and names its displays by
// their ids; what a display answered is kept with that display (DisplayFacts), and what a job
// finds out goes back to the UI thread (UiHost::RunOnUi), which applies it to the display the
// job was started for.
class CConsoleCore : public NetworkLinkHost, public LabelSource {
 public:
  class State;

  CConsoleCore(COsprelNetworkManagerDoc& doc, UiHost& ui, SocketApi& sockets = PosixSockets());
  ~CConsoleCore() override;
  CConsoleCore(const CConsoleCore&) = delete;
  CConsoleCore& operator=(const CConsoleCore&) = delete;

  // The only way to the shared state.
  // The caller's place is kept for the trace of a long hold (builtins rather than
  // std::source_location, which clang 14 cannot build with this standard library).
  State Lock(const char* file = __builtin_FILE(), int line = __builtin_LINE(),
             const char* function = __builtin_FUNCTION());

  // The sockets and the socket calls; what the link records (states, history, addresses) is
  // reached through the guard's Link().
  CNetworkLink& Link() { return m_link; }
  CCommandTransaction& Transaction() { return *m_transaction; }
  UiHost& Ui() { return m_ui; }
  // The workers that run the operator's waits: in the order asked for each display, side by
  // side for different displays.
  JobScheduler& Jobs() { return m_jobs; }

  void SetAlarmMailer(AlarmMailer* mailer) { m_alarm = mailer; }
  void SetSerialChannel(SerialChannel* channel);
  SerialChannel* Serial();
  // Tests replace the protocol's pauses.
  void SetSleeper(Sleeper sleeper);
  // History lines are made under the lock and written by the history writer, so that no
  // thread waits for the disk to take the lock. Waits (briefly) until every line made so far
  // is written; for tests and the close. Not while holding the lock.
  void FlushHistory();
  // Tests replace the writing of history lines.
  using HistoryWriter = std::function<void(const std::vector<HistoryLine>&)>;
  void SetHistoryWriter(HistoryWriter writer);
  // The pause, copied under the lock, for a wait that runs without it.
  Sleeper SleeperCopy();

  // The console is closing: every exchange and connect in flight ends at once, as failed
  // without blaming the display, and none starts to wait any more.
  void Stop();
  bool Stopping() const { return m_stop.Cancelled(); }
  int StopFd() const { return m_stop.Fd(); }

  // The token of the reads of the present selection. A new selection cancels the reads of the
  // previous one (NewReadToken) as a close would: their exchanges end at once, and nobody is
  // blamed for them. The close cancels the present one too.
  std::shared_ptr<const CancelToken> NewReadToken();
  std::shared_ptr<const CancelToken> ReadToken();

  // ---- Tree building (initial update) ----
  // Builds the tree of the document's mode. In network mode every stored display is in the
  // table, with its id, before any connect; all are connected at once, and each appears in the
  // tree, in stored order, as its link state becomes known.
  void BuildTree();
  // A display that discovery found: connected, then recorded by AddConnectedMonitor. 1 when
  // connected.
  int AddDiscoveredMonitor(const std::string& address);
  // A found display with the connect made for it: the entry that holds its address already
  // takes the link (one that is up keeps its own, so nothing in flight on it fails), or it is
  // added at the end of the table and under "Single", connected or not. 1 when connected, 0
  // when not, -1 when it was not added: the table is full or the console is closing. The
  // caller holds the guard.
  int AddConnectedMonitor(const State& state, const std::string& address, const Connection& result);

  // NetworkLinkHost: the link calls back while its caller holds the guard.
  std::string DisplayAddress(int index) const override;
  void SetDisplayAddress(int index, const std::string& address) override;
  void LinkHistory(std::string_view address, std::string_view operation) override;
  LinkEndpoint EndpointAt(int index) const override;

  // The options of connecting the displays `ids` together, each on its own kind's port. Takes
  // the lock.
  ConnectOptions ConnectOptionsFor(const std::vector<DisplayId>& ids, int attempts);

  // LabelSource: the document asks while it is saved, under the guard.
  std::optional<std::vector<std::string>> SingleLabels() const override;
  std::optional<std::vector<std::vector<std::string>>> GroupMemberLabels() const override;

 private:
  class TreeNotifier;

  // Takes the lock.
  bool BuildStoredTree(std::vector<DisplayId>& ids, std::vector<std::string>& addresses);
  // Lock held.
  void RecordStoredConnect(DisplayId id, const std::string& address, const Connection& result);
  void FillGroupsLocked(State& state, const std::vector<GroupRecord>& records, TreeIcon icon);
  void RemoveDisplayRowLocked(int row);
  void AppendHistoryLocked(int row, std::string_view operation);
  void AppendSerialHistoryLocked(const std::string& setNumber, std::string_view operation);
  void MarkDisconnectedLocked(int row);
  void QueueHistoryLocked(int communicationSelect, std::string_view subject,
                          std::string_view operation);
  // The history writer's thread.
  void WriteHistory();

  // The console's mutex, reached by the guard alone: a way in that took the mutex itself would
  // not be counted among the waiters, and a long hold would keep it out to the end.
  class LockDoor {
    friend class CConsoleCore::State;
    std::mutex m_mutex;
    // Threads waiting in Lock(), and the number of holds taken so far: a long hold hands over
    // only when somebody waits, and knows when the waiter had its turn.
    std::atomic<int> m_waiters{0};
    std::atomic<std::uint64_t> m_turns{0};
  };

  COsprelNetworkManagerDoc& m_doc;
  UiHost& m_ui;
  LockDoor m_door;
  DeviceTree m_tree;
  CNetworkLink m_link;
  CHistoryReport m_history;
  // The history writer: lines queued under m_historyMutex, written in the order made.
  std::mutex m_historyMutex;
  std::condition_variable m_historyWake;
  std::condition_variable m_historyWritten;
  std::vector<HistoryLine> m_historyQueue;
  std::uint64_t m_historyMade = 0;
  std::uint64_t m_historyDone = 0;
  bool m_historyStop = false;
  HistoryWriter m_historyWriter;
  std::unique_ptr<TreeNotifier> m_notifier;
  std::unique_ptr<CCommandTransaction> m_transaction;
  AlarmMailer* m_alarm = nullptr;
  SerialChannel* m_serial = nullptr;
  Sleeper m_sleep;
  Selection m_selection;
  std::uint64_t m_selectionGeneration = 0;
  std::unordered_map<DisplayId, DisplayFacts> m_facts;
  std::array<DisplayFacts, kSerialSetIds> m_serialFacts{};
  CancelToken m_stop;
  std::mutex m_readTokenMutex;
  std::shared_ptr<CancelToken> m_readToken;
  JobScheduler m_jobs;
  std::thread m_historyThread;  // last: it starts once everything it uses is there
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
  // What the operator has selected.
  const Selection& Selected() const { return m_core->m_selection; }
  // The operator selected `selection` (UI thread): reads of the previous one go stale.
  void Select(Selection selection) const;
  // Whether a command may go to the selection now: a network display whose link is up or
  // being opened, a serial set, a group with a member that stands for a display.
  bool SelectionUsable() const;
  // A network display is selected and its link is up.
  bool SelectedLinkUp() const;
  // One display (network or serial) is selected and usable: what the single-display pages read.
  bool SelectedDisplayUsable() const {
    return (Selected().kind() == Selection::Kind::kDisplay ||
            Selected().kind() == Selection::Kind::kSerialDisplay) &&
           SelectionUsable();
  }

  // What the display `id` (or the serial set `setNumber`) answered; none for a display that
  // left the table or a set number outside the line's.
  DisplayFacts* FactsOf(DisplayId id) const;
  DisplayFacts* SerialFactsOf(int setNumber) const;

  std::string DisplayAddress(int index) const { return m_core->DisplayAddress(index); }
  // How the display is reached; native for one that left the table.
  LinkKind KindOf(DisplayId id) const { return m_core->EndpointAt(RowOf(id)).kind; }
  // The row that holds the display now, -1 once it left the table; and the id of a row.
  int RowOf(DisplayId id) const { return m_core->m_doc.RowOf(id); }
  DisplayId IdAt(int row) const { return m_core->m_doc.EnsureId(row); }
  // The address of the display, empty once it left the table.
  std::string AddressOf(DisplayId id) const { return DisplayAddress(RowOf(id)); }

  // Bumped by every selection on the UI thread: a job's finding about the selection is shown
  // only while the generation it was started in is still the present one.
  std::uint64_t SelectionGeneration() const { return m_core->m_selectionGeneration; }

  // One history line for the selected display (network) or set number (serial); with
  // anything else selected the line names no display.
  void AppendHistory(std::string_view operation) const;
  // The address of the selected network display, empty for anything else.
  std::string SelectedAddress() const;
  // One history line for the network display in `row`, or for the display `id` (none once it
  // left the table).
  void AppendHistoryAt(int row, std::string_view operation) const {
    m_core->AppendHistoryLocked(row, operation);
  }
  void AppendHistoryFor(DisplayId id, std::string_view operation) const;
  void AppendSerialHistory(const std::string& setNumber, std::string_view operation) const {
    m_core->AppendSerialHistoryLocked(setNumber, operation);
  }
  // The display stopped answering: its items turn red, m_bConnect is 0, and its socket is
  // closed when its link was up. Nothing once it left the table.
  void MarkDisconnected(DisplayId id) const { m_core->MarkDisconnectedLocked(RowOf(id)); }
  void MarkDisconnectedAt(int row) const { m_core->MarkDisconnectedLocked(row); }
  // The display in `row` leaves the table: the rows after it close up with their ids, and its
  // link is closed.
  void RemoveDisplayRow(int row) const { m_core->RemoveDisplayRowLocked(row); }
  // Queued for the mail worker; returns at once.
  void SendAlarmMail(AlarmKind kind, const std::string& address) const;
  // One history line about an alarm mail for `subject` (the display's address, or its set ID
  // in serial mode) as the alarm named it.
  void AppendAlarmHistory(const std::string& subject, std::string_view operation) const;

  // For a loop that records hundreds of displays in one hold: once the hold has lasted a
  // slice and another thread waits for the lock, the lock is let go until that thread had its
  // turn (or a short deadline passed), then taken again. Whatever was read under the lock may
  // have changed meanwhile, so a loop calls it between two displays, each looked up by its id.
  // True when the lock was let go.
  bool LetOthersIn();

 private:
  friend class CConsoleCore;
  State(CConsoleCore& core, const char* file, int line, const char* function);
  void BeginHold();
  void EndHold();

  std::unique_lock<std::mutex> m_lock;
  CConsoleCore* m_core;
  const char* m_file;
  int m_line;
  const char* m_function;
  std::chrono::steady_clock::time_point m_since;
};

}  // namespace tarnex
