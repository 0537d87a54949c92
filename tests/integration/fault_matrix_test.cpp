// Every fault a display can make, against every way the operator's work reaches a display: what
// the operator is told, what the history says, what the tree shows, that nothing waits past its
// deadline and that a close in the middle ends the work at once.
//
// Each cell runs twice on a fresh console: once to its end, once closed while it works. The
// display under test is the first of two stored displays and the first member of the group
// "Hall"; the second display stays sound, so a cell also shows that one bad display holds up
// nobody else. What each cell must find is in fault_matrix_cells.txt.
//
// The search meets datagram faults of its own: floods, replies naming 0.0.0.0 and senders that
// never stop.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <future>
#include <sstream>
#include <thread>

#include "config/backup_file.h"
#include "console/display_discovery.h"
#include "console/link_supervisor.h"
#include "console/selection_handler.h"
#include "display-sim/discovery_responder.h"
#include "monitor/control_readers.h"
#include "monitor/group_status.h"
#include "monitor/information_reader.h"
#include "monitor/menu_readers.h"
#include "monitor/message_sender.h"
#include "monitor/page_setter.h"
#include "monitor/read_context.h"
#include "monitor/settings_backup.h"
#include "support/console_fixture.h"
#include "support/datagram_sender.h"
#include "support/recording_pages.h"

namespace tarnex {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using testing::Loopback;

// The pages as the window has them: a refresh reads the Control page of the selection.
class ReadingPages : public testing::RecordingPages {
 public:
  explicit ReadingPages(CConsoleCore& core) : core_(core) {}
  void RefreshActivePage() override {
    const ReadContext context = ReadContext::ForSelection(core_);
    core_.Jobs().Post(context.Keys(), [context] { ReadControlPage(context, true); });
  }

 private:
  CConsoleCore& core_;
};

// The console with the display under test (`bad`), a sound one and the group of both.
class Rig : public testing::ConsoleRig {
 public:
  enum class Start {
    kUp,         // both connected, then the display goes bad
    kDown,       // the display was off at the start, then comes back bad
    kNotStored,  // nothing stored
  };

  explicit Rig(Start start) : start_(start) {
    Open();
    sound = &fleet.Add({.address = Loopback(2)});
    bad = &fleet.Add({.address = Loopback(1), .refuse = start == Start::kDown});
    fleet.Add({.address = Loopback(3)});  // where a moved display answers
    if (start != Start::kNotStored) {
      Configure({Loopback(1), Loopback(2)}, {{"Hall", {"[1]" + Loopback(1), "[2]" + Loopback(2)}}});
      doc->m_docDisplays[0].m_compactMac = kBadMac;
      doc->m_docDisplays[0].m_displayMac = "00 - C0 - FF - EE - 00 - 42";
    }
    core->BuildTree();
    // Ten settings are enough to see a restore through, at a tenth of the time of sixty.
    if (start == Start::kUp) values = SoundValues();
    for (size_t key = 10; key < values.size(); ++key) values[key].clear();
    pages = std::make_unique<ReadingPages>(*core);
    handler = std::make_unique<CSelectionHandler>(*core, *pages);
    supervisor = std::make_unique<CLinkSupervisor>(*core, *pages);
  }
  ~Rig() override {
    core->Stop();
    supervisor.reset();
    handler.reset();
    Close();
  }

  // What the sound display holds, as a backup file gives it: the values of every restore.
  BackupValues SoundValues() {
    BackupProgress progress;
    const std::string path = folder + "sound.log";
    EXPECT_EQ(SaveSettings(*core, core->Transaction().DisplayTarget(1), path, progress).result,
              SaveResult::kSaved);
    return ReadBackupFile(path).values;
  }

  // The display under test starts its fault. A moved display leaves its address for another
  // one, from which it answers the search.
  void Break(const std::function<void(sim::SimDisplay&)>& fault, bool moved) {
    if (start_ == Start::kDown) bad->SetRefuse(false);
    fault(*bad);
    responder =
        std::make_unique<sim::DiscoveryResponder>(testing::DiscoveryTestPort(), udpLog, 10ms);
    responder->Add(Loopback(1), kBadMac);
    if (moved) responder->Move(Loopback(1), Loopback(3));
    ui.RunUiCalls();
    historyBefore = Operations().size();
    fleet.ClearLog();
  }

  void SelectBad() {
    handler->OnSelectionChanged(SingleItem(0));
    Settle();
  }
  // The group as the operator selects it, and the target a command takes then.
  CommandTarget SelectHall() {
    handler->OnSelectionChanged(Tree().Model().Child(Tree().GroupRoot(), 0));
    Settle();
    return core->Transaction().CaptureTarget();
  }

  // The operator's work that blocks runs where a job would.
  template <typename Work>
  void OnWorker(Work work) {
    core->Jobs().Post(JobKeys::Everything(), std::move(work));
    if (core->Jobs().WaitIdle(20s)) return;
    // The work holds the caller's frame: it must end before the frame does.
    ADD_FAILURE() << "the work did not end";
    core->Stop();
    core->Jobs().Stop();
  }
  void Settle() override { core->Jobs().WaitIdle(20s); }

  // The cell's findings, one line per kind, as the table of cells writes them.
  std::string Findings(const std::string& result) {
    std::ostringstream out;
    out << "told:";
    for (const std::string& message : ui.Messages()) out << " [" << message << "]";
    out << "\nhistory:";
    const std::vector<std::string> lines = Operations();
    for (size_t i = historyBefore; i < lines.size(); ++i) out << " [" << lines[i] << "]";
    out << "\nmail:";
    for (const std::string& alarm : mailer.Alarms()) out << " [" << alarm << "]";
    {
      auto state = core->Lock();
      const DeviceTree& tree = state->Tree();
      out << "\nicons:";
      if (doc->m_docSocketNumber > 0) {
        out << " " << static_cast<int>(tree.Model().Images(SingleItemLocked(tree)).normal);
      }
      if (doc->m_docGroupNumCount > 0) {
        const TreeItem member = tree.Model().Child(tree.Model().Child(tree.GroupRoot(), 0), 0);
        out << " " << static_cast<int>(tree.Model().Images(member).normal);
      }
      out << "\nlink: " << (doc->m_docSocketNumber > 0 ? doc->m_docConnectState[0] : -1);
    }
    out << "\nsound display: " << (fleet.CommandsTo(Loopback(2)).empty() ? "idle" : "asked");
    if (!result.empty()) out << "\nresult: " << result;
    return Shorten(out.str());
  }

  static constexpr const char* kBadMac = "00C0FFEE0042";
  Start start_;
  sim::SimDisplay* bad = nullptr;
  sim::SimDisplay* sound = nullptr;
  BackupValues values;
  std::unique_ptr<ReadingPages> pages;
  std::unique_ptr<CSelectionHandler> handler;
  std::unique_ptr<CLinkSupervisor> supervisor;
  sim::CommandLog udpLog;
  std::unique_ptr<sim::DiscoveryResponder> responder;
  size_t historyBefore = 0;

 private:
  static TreeItem SingleItemLocked(const DeviceTree& tree) {
    return tree.Model().Child(tree.SingleRoot(), 0);
  }
  // The findings name the cell's addresses by their role, so the table reads the same in every
  // process.
  static std::string Shorten(std::string line) {
    for (auto [n, name] : {std::pair{1, "bad"}, {2, "sound"}, {3, "moved"}}) {
      const std::string address = Loopback(n);
      for (size_t at = line.find(address); at != std::string::npos; at = line.find(address)) {
        line.replace(at, address.size(), name);
      }
    }
    return line;
  }
};

struct Fault {
  const char* name;
  std::function<void(sim::SimDisplay&)> apply;
  bool moved = false;
};

const std::vector<Fault>& Faults() {
  static const std::vector<Fault> faults = {
      {"Refuse", [](sim::SimDisplay& d) { d.SetRefuse(true); }},
      {"Unreachable", [](sim::SimDisplay& d) { d.SetUnreachable(true); }},
      {"Silent", [](sim::SimDisplay& d) { d.SetSilent(true); }},
      {"Late", [](sim::SimDisplay& d) { d.SetDelayMs(1000); }},
      {"Trickle", [](sim::SimDisplay& d) { d.SetTrickle(true); }},
      {"Split", [](sim::SimDisplay& d) { d.SetSplitReplies(true); }},
      {"Garbage", [](sim::SimDisplay& d) { d.SetGarbage(true); }},
      {"OddLength", [](sim::SimDisplay& d) { d.SetOddLength(true); }},
      {"Twice", [](sim::SimDisplay& d) { d.SetTwice(true); }},
      {"CloseAfter2", [](sim::SimDisplay& d) { d.SetCloseAfter(2); }},
      {"ResetAfter2", [](sim::SimDisplay& d) { d.SetResetAfter(2); }},
      {"Moved", [](sim::SimDisplay& d) { d.SetRefuse(true); }, true},
  };
  return faults;
}

struct Entry {
  const char* name;
  Rig::Start start;
  // The operator's work, to its end; what it returned, for the findings.
  std::function<std::string(Rig&)> run;
};

std::string Join(const std::vector<std::string>& parts) {
  std::string joined;
  for (const std::string& part : parts) joined += (joined.empty() ? "" : ", ") + part;
  return joined;
}

MenuReadPlan FirstRead() {
  return {.initialise = true, .refresh = true, .onTop = true, .inputReadOk = true};
}

template <typename Reader>
std::string ReadMenu(Rig& rig, Reader reader) {
  rig.SelectBad();
  const ReadContext context = ReadContext::ForSelection(*rig.core);
  MenuReadings readings;
  rig.OnWorker([&] { readings = reader(context, FirstRead()); });
  return std::string(readings.lost ? "lost" : "kept") + (readings.answered ? ", answered" : "");
}

// The search as the Search button starts it, on the test's port, quiet sooner.
SearchOptions TestSearch() {
  SearchOptions options;
  options.broadcastAddress = "127.255.255.255";
  options.port = testing::DiscoveryTestPort();
  options.quietPeriod = 300ms;
  return options;
}

std::string PostMute(Rig& rig) {
  const bool posted = PostToTarget(*rig.core, "kd 01 01\n");
  rig.Settle();
  return posted ? "posted" : "refused";
}

std::string Restore(Rig& rig, const CommandTarget& target) {
  BackupProgress progress;
  RestoreReport report;
  rig.OnWorker([&] { report = RestoreSettings(*rig.core, target, rig.values, progress); });
  return RestoreMessage(report);
}

std::string Message(Rig& rig, const CommandTarget& target) {
  MessageResult result;
  rig.OnWorker([&] { result = SendMessage(*rig.core, target, "Doors open", 7, 6); });
  return std::to_string(result.shown) + " of " + std::to_string(result.members) + " shown";
}

const std::vector<Entry>& Entries() {
  using Start = Rig::Start;
  static const std::vector<Entry> entries = {
      {"Select", Start::kUp,
       [](Rig& rig) {
         rig.SelectBad();
         return std::string();
       }},
      {"Connect", Start::kDown,
       [](Rig& rig) {
         rig.SelectBad();
         rig.handler->OnConnectCommand();
         rig.Settle();
         return std::string();
       }},
      {"ControlPage", Start::kUp,
       [](Rig& rig) {
         rig.SelectBad();
         const ReadContext context = ReadContext::ForSelection(*rig.core);
         ControlReadings readings;
         rig.OnWorker([&] { readings = ReadControlPage(context, true); });
         return std::string(readings.answered ? "answered" : "unanswered");
       }},
      {"InformationPage", Start::kUp,
       [](Rig& rig) {
         rig.SelectBad();
         const ReadContext context = ReadContext::ForSelection(*rig.core);
         InformationReadings readings;
         rig.OnWorker([&] { readings = ReadInformationPage(context, true); });
         return "power " + readings.power.value_or("-") + ", fan " + (readings.fan ? "read" : "-");
       }},
      {"PicturePage", Start::kUp, [](Rig& rig) { return ReadMenu(rig, ReadPicturePage); }},
      {"AdvancedPage", Start::kUp, [](Rig& rig) { return ReadMenu(rig, ReadAdvancedPage); }},
      {"SpecialPage", Start::kUp, [](Rig& rig) { return ReadMenu(rig, ReadSpecialPage); }},
      {"Setter", Start::kUp,
       [](Rig& rig) {
         rig.SelectBad();
         return PostMute(rig);
       }},
      {"GroupSend", Start::kUp,
       [](Rig& rig) {
         rig.SelectHall();
         return PostMute(rig);
       }},
      {"Supervision", Start::kDown,
       [](Rig& rig) {
         rig.supervisor->OnTick();
         rig.supervisor->Wait();
         return std::string();
       }},
      {"Search", Start::kDown,
       [](Rig& rig) {
         CDisplayDiscovery(*rig.core).Start(TestSearch(), {});
         rig.Settle();
         return std::to_string(rig.doc->m_docSocketNumber) + " stored";
       }},
      {"GroupStatus", Start::kUp,
       [](Rig& rig) {
         const CommandTarget target = rig.SelectHall();
         GroupStatusRead read;
         rig.OnWorker(
             [&] { read = ReadGroupStatus(*rig.core, target, 2, GroupReadMode::kRebuild); });
         std::vector<std::string> rows;
         for (const GroupStatusRow& row : read.rows) rows.push_back(row.status + " " + row.power);
         return Join(rows);
       }},
      {"Save", Start::kUp,
       [](Rig& rig) {
         const CommandTarget target = rig.core->Transaction().DisplayTarget(0);
         BackupProgress progress;
         SaveOutcome outcome;
         rig.OnWorker(
             [&] { outcome = SaveSettings(*rig.core, target, rig.folder + "bad.log", progress); });
         return SaveMessage(outcome);
       }},
      {"RestoreOne", Start::kUp,
       [](Rig& rig) { return Restore(rig, rig.core->Transaction().DisplayTarget(0)); }},
      {"RestoreGroup", Start::kUp, [](Rig& rig) { return Restore(rig, rig.SelectHall()); }},
      {"MessageOne", Start::kUp,
       [](Rig& rig) { return Message(rig, rig.core->Transaction().DisplayTarget(0)); }},
      {"MessageGroup", Start::kUp, [](Rig& rig) { return Message(rig, rig.SelectHall()); }},
  };
  return entries;
}

struct Cell {
  const Entry* entry;
  const Fault* fault;
};

// CTest lists a case by its name and its printed parameter: the bytes of pointers would
// change the name from build to build, and with it the recorded costs that order the run.
void PrintTo(const Cell& cell, std::ostream* out) {
  *out << cell.entry->name << "/" << cell.fault->name;
}

std::vector<Cell> Cells() {
  std::vector<Cell> cells;
  for (const Entry& entry : Entries()) {
    for (const Fault& fault : Faults()) cells.push_back({&entry, &fault});
  }
  return cells;
}

// The table of cells: for each, "== Entry/Fault" and the findings the cell must give.
std::string ExpectedFindings(const std::string& cell) {
  std::ifstream in(FAULT_MATRIX_TABLE);
  std::string line, findings;
  bool inCell = false;
  while (std::getline(in, line)) {
    if (line.starts_with("== ")) {
      if (inCell) break;
      inCell = line == "== " + cell;
      continue;
    }
    if (inCell && !line.empty()) findings += (findings.empty() ? "" : "\n") + line;
  }
  return findings;
}

class FaultMatrix : public ::testing::TestWithParam<Cell> {};

// Far beyond what any cell needs with the short receive time-out of the tests, far below what a
// wait without a deadline (or with the real three seconds per reply) would take.
constexpr auto kWorkDeadline = 8s;
constexpr auto kCloseDeadline = 2s;

TEST_P(FaultMatrix, Cell) {
  const Entry& entry = *GetParam().entry;
  const Fault& fault = *GetParam().fault;
  const std::string cell = std::string(entry.name) + "/" + fault.name;
  {
    Rig rig(entry.start);
    rig.Break(fault.apply, fault.moved);
    const auto started = Clock::now();
    const std::string result = entry.run(rig);
    EXPECT_LT(Clock::now() - started, kWorkDeadline);
    const std::string findings = rig.Findings(result);
    // TARNEX_FAULT_MATRIX_PRINT=1 prints every cell as the table holds it.
    if (std::getenv("TARNEX_FAULT_MATRIX_PRINT") != nullptr) {
      std::cout << "== " << cell << "\n" << findings << "\n\n";
    }
    EXPECT_EQ(findings, ExpectedFindings(cell)) << "== " << cell << "\n" << findings;
  }
  {
    Rig rig(entry.start);
    rig.Break(fault.apply, fault.moved);
    std::thread work([&] { entry.run(rig); });
    std::this_thread::sleep_for(60ms);
    const auto closing = Clock::now();
    rig.core->Stop();
    rig.core->Jobs().Stop();
    work.join();
    EXPECT_LT(Clock::now() - closing, kCloseDeadline);
  }
}

INSTANTIATE_TEST_SUITE_P(Displays, FaultMatrix, ::testing::ValuesIn(Cells()),
                         [](const ::testing::TestParamInfo<Cell>& cell) {
                           return std::string(cell.param.entry->name) + "_" +
                                  cell.param.fault->name;
                         });

// ---- Datagrams ----

struct DatagramFault {
  const char* name;
  std::function<std::string(int)> make;
  int count;
  std::chrono::milliseconds gap;
  int stored;  // displays the search must have added
};

std::string Mac(int i) {
  char mac[13];
  std::snprintf(mac, sizeof mac, "00C0FFEE%04X", i & 0xFFFF);
  return mac;
}

const std::vector<DatagramFault>& DatagramFaults() {
  using sim::DiscoveryResponder;
  static const std::vector<DatagramFault> faults = {
      // Twenty thousand datagrams as fast as loopback takes them, one in a thousand a real
      // display's (always the same one), the others no reply at all, too long, or naming
      // addresses no display has.
      {"Flood",
       [](int i) -> std::string {
         switch (i % 5) {
           case 0:
             return i % 1000 == 0 ? DiscoveryResponder::Reply(Loopback(1), Mac(1))
                                  : std::string(4096, static_cast<char>(i));
           case 1:
             return DiscoveryResponder::Reply("0.0.0.0", Mac(i));
           case 2:
             return DiscoveryResponder::Reply("255.255.255.255", Mac(i));
           case 3:
             return "QXMNT REPLY " + std::to_string(i);
           default:
             return DiscoveryResponder::Reply("127.255.255.255", Mac(i));
         }
       },
       20000, 0ms, 1},
      {"ZeroAddress", [](int i) { return DiscoveryResponder::Reply("0.0.0.0", Mac(i)); }, 50, 5ms,
       0},
      // Never quiet: the search ends at its limit all the same, with the display once.
      {"Endless", [](int) { return DiscoveryResponder::Reply(Loopback(1), Mac(1)); }, 1000, 10ms,
       1},
  };
  return faults;
}

void PrintTo(const DatagramFault* fault, std::ostream* out) {
  *out << fault->name;
}

class DatagramMatrix : public ::testing::TestWithParam<const DatagramFault*> {
 protected:
  static SearchOptions Options() {
    SearchOptions options = TestSearch();
    options.limit = 2s;
    return options;
  }
};

TEST_P(DatagramMatrix, SearchEndsInTimeAndTakesOnlyDisplays) {
  const DatagramFault& fault = *GetParam();
  {
    Rig rig(Rig::Start::kNotStored);
    testing::DatagramSender sender(fault.make, fault.count, fault.gap);
    std::atomic<bool> completed{false};
    const auto started = Clock::now();
    CDisplayDiscovery(*rig.core).Start(Options(),
                                       {.loading = {}, .completed = [&] { completed = true; }});
    rig.Settle();
    EXPECT_LT(Clock::now() - started, Options().limit + 2s);
    EXPECT_TRUE(completed);
    EXPECT_EQ(rig.doc->m_docSocketNumber, fault.stored);
    EXPECT_TRUE(rig.ui.Messages().empty());
    EXPECT_GT(sender.Sent(), 0);
  }
  {
    Rig rig(Rig::Start::kNotStored);
    testing::DatagramSender sender(fault.make, fault.count, fault.gap);
    CDisplayDiscovery(*rig.core).Start(Options(), {});
    std::this_thread::sleep_for(150ms);
    const auto closing = Clock::now();
    rig.core->Stop();
    rig.core->Jobs().Stop();
    EXPECT_LT(Clock::now() - closing, kCloseDeadline);
  }
}

INSTANTIATE_TEST_SUITE_P(Datagrams, DatagramMatrix, ::testing::ValuesIn([] {
                           std::vector<const DatagramFault*> faults;
                           for (const DatagramFault& fault : DatagramFaults())
                             faults.push_back(&fault);
                           return faults;
                         }()),
                         [](const ::testing::TestParamInfo<const DatagramFault*>& fault) {
                           return std::string(fault.param->name);
                         });

}  // namespace
}  // namespace tarnex
