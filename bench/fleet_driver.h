#pragma once
// fleet-bench's driver of the console core.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "config/history_report.h"
#include "config/network_manager_doc.h"
#include "console/command_transaction.h"
#include "console/console_core.h"
#include "console/display_discovery.h"
#include "console/link_supervisor.h"
#include "console/page_host.h"
#include "console/selection_handler.h"
#include "monitor/control_readers.h"
#include "monitor/group_status.h"
#include "monitor/message_frames.h"
#include "monitor/message_sender.h"
#include "monitor/page_setter.h"
#include "monitor/read_context.h"
#include "monitor/settings_backup.h"
#include "platform/ui_host.h"
#include "protocol/command_catalogue.h"

namespace fleet_bench {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Group 2 holds the fleet and the silent display.
constexpr int kSwitchGroup = 2;
constexpr std::string_view kGiveUp = "Monitor is not communicated with PC";

// ==== Driving the console core ====
// Everything the bench asks of the console core is in this section; an engine with another
// API changes this section only.

// Records the messages the operator would see; nothing else is shown. Workers call in.
class BenchUi : public tarnex::UiHost {
 public:
  void ShowMessage(std::string_view text) override {
    std::lock_guard lock(mutex_);
    messages_.emplace_back(text);
  }
  bool AskYesNo(std::string_view, std::string_view) override { return true; }
  void ProgressCreate() override {}
  void ProgressSetPos(int) override {}
  void ProgressDestroy() override {}
  void TreeChanged() override {}
  void PageMustRefresh() override {}

  size_t Messages(std::string_view text) const {
    std::lock_guard lock(mutex_);
    return static_cast<size_t>(std::count(messages_.begin(), messages_.end(), text));
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
};

// What one page read came to, and when its job began and ended.
struct PageRead {
  tarnex::ControlReadings readings;
  Clock::time_point began{};
  Clock::time_point ended{};
};

// The Control page on top: a selection's refresh is posted as the window posts it
// (CControl::RefreshControlPage), captured here on the selecting thread and read on a console
// worker. What each read came to is kept for the bench instead of being shown.
class ControlPageHost : public tarnex::PageHost {
 public:
  using ReadId = size_t;
  static constexpr ReadId kNoRead = 0;

  void Attach(tarnex::CConsoleCore& core) { core_ = &core; }

  void RefreshActivePage() override {
    tarnex::ReadContext context = tarnex::ReadContext::ForSelection(*core_);
    ReadId id = kNoRead;
    {
      std::lock_guard lock(mutex_);
      id = ++lastId_;
    }
    tarnex::JobKeys keys = context.Keys();
    core_->Jobs().Post(std::move(keys), [this, id, context = std::move(context)] {
      PageRead read;
      read.began = Clock::now();
      // As on the page: a read whose selection went while it waited reads nothing.
      if (context.Cancelled()) {
        read.readings.cancelled = true;
      } else {
        read.readings = tarnex::ReadControlPage(context, /*onTop=*/true);
      }
      read.ended = Clock::now();
      {
        std::lock_guard lock(mutex_);
        done_.emplace(id, read);
      }
      wake_.notify_all();
    });
  }

  // The read posted last, kNoRead before the first.
  ReadId LastId() const {
    std::lock_guard lock(mutex_);
    return lastId_;
  }
  // The read once its job has ended; nothing when it has not within the time-out.
  std::optional<PageRead> Wait(ReadId id, Clock::duration timeout) {
    std::unique_lock lock(mutex_);
    if (!wake_.wait_for(lock, timeout, [&] { return done_.contains(id); })) return std::nullopt;
    return done_.at(id);
  }

 private:
  tarnex::CConsoleCore* core_ = nullptr;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  ReadId lastId_ = kNoRead;
  std::map<ReadId, PageRead> done_;
};

class CoreDriver {
 public:
  using ReadId = ControlPageHost::ReadId;
  using Groups = std::vector<std::pair<std::string, std::vector<std::string>>>;

  // Stored displays: the fleet, then `extra`. Group 0 "All" of every fleet display, group 1
  // "One" of the first, group 2 "Silent" of the fleet and `silentMember`. At `capacity` every
  // further group up to the limit lists 1000 members, the fleet's displays over and over.
  CoreDriver(const std::vector<std::string>& fleet, const std::vector<std::string>& extra,
             const std::string& silentMember, bool capacity = false) {
    std::vector<std::string> table = fleet;
    table.insert(table.end(), extra.begin(), extra.end());
    std::vector<std::string> silentGroup = fleet;
    silentGroup.push_back(silentMember);
    Groups groups = {{"All", fleet}, {"One", {fleet.front()}}, {"Silent", silentGroup}};
    if (capacity) {
      for (int g = kSwitchGroup + 1; g < tarnex::kMaxGroups; ++g) {
        std::vector<std::string> members;
        for (int m = 0; m < tarnex::kMaxNetworkMembers; ++m) {
          members.push_back(fleet[static_cast<size_t>(g + m) % fleet.size()]);
        }
        groups.emplace_back("Wall " + std::to_string(g), std::move(members));
      }
    }
    Store(table, groups);
    Attach();
  }
  // Stored displays `table` and these groups, in this order.
  CoreDriver(const std::vector<std::string>& table, const Groups& groups) {
    Store(table, groups);
    Attach();
  }

  // Before Start(): the display at `address` is reached over PJLink with this password.
  void UsePjlink(const std::string& address, const std::string& password) {
    for (int i = 0; i < doc_.m_docSocketNumber; ++i) {
      auto& record = doc_.m_docDisplays[static_cast<size_t>(i)];
      if (record.m_address == address) record.m_linkKind = tarnex::LinkKind::kPjlink;
    }
    doc_.m_docPjlinkPasswords[address] = password;
  }
  // Returns once every stored display has its state, connected or not.
  void Start() { core_->BuildTree(); }
  void Pass() { supervisor_->RunPass(); }
  tarnex::CConsoleCore& Core() { return *core_; }
  int Connected() {
    auto state = core_->Lock();
    int connected = 0;
    for (int i = 0; i < doc_.m_docSocketNumber; ++i) {
      connected += doc_.m_docConnectState[static_cast<size_t>(i)] == 1 ? 1 : 0;
    }
    return connected;
  }
  bool Up(const std::string& address) {
    auto state = core_->Lock();
    for (int i = 0; i < doc_.m_docSocketNumber; ++i) {
      if (doc_.m_docDisplays[static_cast<size_t>(i)].m_address == address) {
        return doc_.m_docConnectState[static_cast<size_t>(i)] == 1;
      }
    }
    return false;
  }
  // The selected group's list, rebuilt as the operator's refresh rebuilds it; its rows.
  std::vector<tarnex::GroupStatusRow> GroupStatus(int members) {
    const tarnex::CommandTarget target = core_->Transaction().CaptureTarget();
    return tarnex::ReadGroupStatus(*core_, target, members, tarnex::GroupReadMode::kRebuild).rows;
  }
  void SelectGroup(int group) {
    tarnex::TreeItem item = tarnex::kNoItem;
    {
      auto state = core_->Lock();
      item = state->Tree().GroupItem(group);
    }
    selection_->OnSelectionChanged(item);
  }
  // The operator selects the display's "Single" item; returns the page read that the
  // selection started, kNoRead when it started none.
  ReadId SelectDisplay(const std::string& address) {
    tarnex::TreeItem item = tarnex::kNoItem;
    {
      auto state = core_->Lock();
      item = state->Tree().FindSingleByKey(address);
    }
    const ReadId before = pages_.LastId();
    selection_->OnSelectionChanged(item);
    const ReadId after = pages_.LastId();
    return after == before ? ControlPageHost::kNoRead : after;
  }
  // A search as the Search button starts it, answered by the fleet on `port`; `completed` is
  // called on a worker once its answers are recorded.
  void StartSearch(uint16_t port, std::function<void()> completed) {
    tarnex::SearchOptions options;
    options.broadcastAddress = "127.255.255.255";
    options.port = port;
    tarnex::CDisplayDiscovery::Hooks hooks;
    hooks.completed = std::move(completed);
    tarnex::CDisplayDiscovery(*core_).Start(options, std::move(hooks));
  }
  std::optional<PageRead> WaitRead(ReadId id, Clock::duration timeout) {
    return pages_.Wait(id, timeout);
  }
  std::optional<std::string> Send(std::string_view command) {
    return core_->Transaction().SendCommand(command);
  }
  // A message to the selection, as the Message dialog's Send posts it, waited for here.
  tarnex::MessageResult Message(std::string_view text) {
    return tarnex::SendMessage(*core_, core_->Transaction().CaptureTarget(), text, 7, 6);
  }
  // A setter of the page: the command to the selection, on a worker. False when not posted.
  bool PostSetter(std::string_view command) { return tarnex::PostToTarget(*core_, command); }
  bool WaitIdle(Clock::duration timeout) {
    return core_->Jobs().WaitIdle(std::chrono::duration_cast<std::chrono::milliseconds>(timeout));
  }
  // The page read's first query, its link check.
  static std::string_view PageCheckQuery() { return tarnex::protocol::query::kInputSelect; }
  // History lines so far that give the display up.
  size_t GiveUps(const std::string& address) {
    core_->FlushHistory();
    const std::string subject = "IP Address : " + address + "    Operation : ";
    std::lock_guard lock(historyMutex_);
    return static_cast<size_t>(std::count_if(giveUps_.begin(), giveUps_.end(), [&](auto& line) {
      return line.find(subject) != std::string::npos;
    }));
  }
  size_t Messages(std::string_view text) const { return ui_.Messages(text); }
  // The settings of the display saved into `path`.
  bool SaveSettings(const std::string& address, const std::string& path) {
    int row = -1;
    {
      auto state = core_->Lock();
      for (int i = 0; i < doc_.m_docSocketNumber && row < 0; ++i) {
        if (doc_.m_docDisplays[static_cast<size_t>(i)].m_address == address) row = i;
      }
    }
    tarnex::BackupProgress progress;
    const tarnex::CommandTarget target = core_->Transaction().DisplayTarget(row);
    return tarnex::SaveSettings(*core_, target, path, progress).result ==
           tarnex::SaveResult::kSaved;
  }
  // The backup restored to the group, as "Load Configuration" does; its closing message.
  std::string RestoreSettings(int group, const std::string& path) {
    SelectGroup(group);
    tarnex::BackupProgress progress;
    const tarnex::RestoreReport report =
        tarnex::RestoreSettings(*core_, core_->Transaction().CaptureTarget(),
                                tarnex::ReadBackupFile(path).values, progress);
    return tarnex::RestoreMessage(report);
  }

 private:
  void Store(const std::vector<std::string>& table, const Groups& groups) {
    doc_.m_docSocketNumber = static_cast<int>(table.size());
    for (size_t i = 0; i < table.size(); ++i) doc_.m_docDisplays[i].m_address = table[i];
    doc_.m_docGroupNumCount = static_cast<int>(groups.size());
    for (size_t g = 0; g < groups.size(); ++g) {
      doc_.m_docGroupName[g] = groups[g].first;
      SetMembers(static_cast<int>(g), groups[g].second);
    }
  }
  void Attach() {
    core_ = std::make_unique<tarnex::CConsoleCore>(doc_, ui_);
    // The history is written as always; the lines that give a display up are kept as well.
    core_->SetHistoryWriter([this](const std::vector<tarnex::HistoryLine>& lines) {
      {
        std::lock_guard lock(historyMutex_);
        for (const tarnex::HistoryLine& line : lines) {
          if (line.text.find(kGiveUp) != std::string::npos) giveUps_.push_back(line.text);
        }
      }
      tarnex::CHistoryReport::Write(lines);
    });
    pages_.Attach(*core_);
    supervisor_ = std::make_unique<tarnex::CLinkSupervisor>(*core_, pages_);
    selection_ = std::make_unique<tarnex::CSelectionHandler>(*core_, pages_);
  }
  void SetMembers(int group, const std::vector<std::string>& members) {
    doc_.SetGroupMemberCount(group, static_cast<int>(members.size()));
    auto& record = doc_.m_docGroups[static_cast<size_t>(group)];
    for (size_t m = 0; m < members.size(); ++m) {
      record.m_labels[m] = "[" + std::to_string(m + 1) + "]" + members[m];
      record.m_addresses[m] = members[m];
    }
  }

  tarnex::COsprelNetworkManagerDoc doc_;
  BenchUi ui_;
  // Reads posted by the core's workers refer to the page host: it goes after the core.
  ControlPageHost pages_;
  std::mutex historyMutex_;
  std::vector<std::string> giveUps_;
  std::unique_ptr<tarnex::CConsoleCore> core_;
  std::unique_ptr<tarnex::CLinkSupervisor> supervisor_;
  std::unique_ptr<tarnex::CSelectionHandler> selection_;
};

// ==== End of the console core section ====

}  // namespace fleet_bench
