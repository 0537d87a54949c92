// The Search command's core against the display-sim program answering on a port of this test
// process, all on loopback: what is added, joined, moved and saved.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>

#include "console/display_discovery.h"
#include "display-sim/discovery_responder.h"
#include "support/console_fixture.h"
#include "support/sim_program.h"

namespace tarnex {
namespace {

using namespace std::chrono_literals;
using testing::Loopback;

class DisplaySearchTest : public testing::ConsoleFixture {
 protected:
  // One search as the Search button runs it, with what it told the dialog.
  std::vector<std::string> Search() {
    SearchOptions options;
    options.broadcastAddress = "127.255.255.255";
    options.port = testing::DiscoveryTestPort();
    options.quietPeriod = 400ms;
    std::vector<std::string> told;
    std::mutex mutex;
    CDisplayDiscovery::Hooks hooks;
    hooks.loading = [&](const std::string& address) {
      std::lock_guard lock(mutex);
      told.push_back("Loading " + address);
    };
    hooks.completed = [&] {
      std::lock_guard lock(mutex);
      told.push_back("Completed");
    };
    CDisplayDiscovery(*core).Start(options, hooks);
    Settle();
    return told;
  }
  std::string Udp() const { return "--udp=" + std::to_string(testing::DiscoveryTestPort()); }
  std::vector<std::string> Singles() const { return Tree().SingleLabels(); }
};

TEST_F(DisplaySearchTest, WithNobodyAnsweringTheSearchCompletesAndAddsNothing) {
  Configure({});
  core->BuildTree();
  EXPECT_EQ(Search(), std::vector<std::string>{"Completed"});
  EXPECT_EQ(doc->m_docSocketNumber, 0);
  EXPECT_TRUE(Singles().empty());
}

// A search that is listening holds no display: the operator's read of a stored display runs
// and ends while the search still waits for answers.
TEST_F(DisplaySearchTest, ASearchThatListensHoldsUpNoRead) {
  const std::string stored = Loopback(6);
  fleet.Add({.address = stored});
  Configure({stored});
  core->BuildTree();
  const DisplayId id = core->Lock()->IdAt(0);
  SearchOptions options;
  options.broadcastAddress = "127.255.255.255";
  options.port = testing::DiscoveryTestPort();
  options.quietPeriod = 1500ms;
  std::atomic<bool> completed{false};
  CDisplayDiscovery(*core).Start(options, {.loading = {}, .completed = [&] { completed = true; }});
  std::promise<bool> readFirst;
  core->Jobs().Post(JobKeys::Display(id), [&] {
    EXPECT_TRUE(core->Transaction().NetworkExchange(id, "ka 01 ff\n"));
    readFirst.set_value(!completed.load());
  });
  EXPECT_TRUE(readFirst.get_future().get());
  Settle();
  EXPECT_TRUE(completed.load());
}

// Stored: a display without a MAC at `lobby`, named; a display known by its MAC at an old
// address nobody serves, in a group. Answering: the lobby display, two new ones (one refusing
// connects), the known MAC from a new address, and a second simulator repeating one answer.
TEST_F(DisplaySearchTest, FoundDisplaysAreAddedJoinedOrMovedAndSaved) {
  const std::string lobby = Loopback(1), fresh = Loopback(2), refusing = Loopback(3),
                    old = Loopback(4), moved = Loopback(5);
  const std::string knownMac = "00C0FFEE0001";
  sim::testing::Program displays({"--tcp", lobby + "," + fresh + "," + refusing + "," + moved,
                                  "--refuse", refusing, "--mac", moved + "=" + knownMac, Udp()});
  ASSERT_NE(displays.FirstLine(10s).find("display-sim: ready"), std::string::npos);
  sim::testing::Program repeater({"--tcp", fresh, "--refuse", fresh, Udp()});
  ASSERT_NE(repeater.FirstLine(10s).find("display-sim: ready"), std::string::npos);
  Configure({lobby, old}, {{"Hall", {"[1][Hall]" + old}}});
  doc->m_docDisplays[0].m_label = "[Lobby]" + lobby;
  doc->m_docDisplays[0].m_ipMode = "1";  // the reply's text is no IP mode
  doc->m_docDisplays[1].m_label = "[Hall]" + old;
  doc->m_docDisplays[1].m_displayMac = "00 - C0 - FF - EE - 00 - 01";
  doc->m_docGroups[0].m_addresses = {old};
  core->BuildTree();

  EXPECT_EQ(Search(),
            (std::vector<std::string>{"Loading " + fresh, "Loading " + refusing, "Completed"}));
  EXPECT_EQ(Singles(),
            (std::vector<std::string>{"[Lobby]" + lobby, "[Hall]" + moved, fresh, refusing}));
  EXPECT_EQ(doc->m_docSocketNumber, 4);
  const std::vector<int> states(doc->m_docConnectState.begin(), doc->m_docConnectState.begin() + 4);
  EXPECT_EQ(states, (std::vector<int>{1, 1, 1, 0}));
  EXPECT_EQ(IconOf(SingleItem(3)), TreeIcon::kDisconnected);
  const TreeItem member = Tree().Model().Child(Tree().Model().Child(Tree().GroupRoot(), 0), 0);
  EXPECT_EQ(Tree().Model().Label(member), "[1][Hall]" + moved);
  EXPECT_EQ(IconOf(member), TreeIcon::kConnected);
  EXPECT_TRUE(ui.Messages().empty());

  // Nothing new the second time: the refusing display is known by its MAC now.
  EXPECT_EQ(Search(), std::vector<std::string>{"Completed"});
  EXPECT_EQ(doc->m_docSocketNumber, 4);

  ASSERT_TRUE(doc->WriteNetworkConfig());
  COsprelNetworkManagerDoc saved;
  saved.OnNewDocument();
  ASSERT_EQ(saved.m_docSocketNumber, 4);
  EXPECT_EQ(saved.m_docDisplays[0].m_label, "[Lobby]" + lobby);
  EXPECT_EQ(saved.m_docDisplays[0].m_compactMac, sim::DerivedMac(lobby));
  EXPECT_EQ(saved.m_docDisplays[0].m_ipMode, "1");
  EXPECT_EQ(saved.m_docDisplays[2].m_ipMode, "");
  EXPECT_EQ(saved.m_docDisplays[1].m_address, moved);
  EXPECT_EQ(saved.m_docDisplays[1].m_compactMac, knownMac);
  EXPECT_EQ(saved.m_docDisplays[2].m_ipAddress[0], "127");
  EXPECT_EQ(saved.m_docDisplays[2].m_subnetMask, (OctetTexts{"255", "0", "0", "0"}));
  EXPECT_EQ(saved.m_docDisplays[3].m_displayMac.size(), 27u);
  EXPECT_EQ(saved.m_docGroups[0].m_labels[0], "[1][Hall]" + moved);
  EXPECT_EQ(saved.m_docGroups[0].m_addresses[0], moved);
}

// A full table takes nothing more, says so once, and writes nothing past its end.
TEST_F(DisplaySearchTest, AFullTableStopsAddingAndSaysSoOnce) {
  const std::string a = Loopback(11), b = Loopback(12);
  sim::testing::Program displays({"--tcp", a + "," + b, Udp()});
  ASSERT_NE(displays.FirstLine(10s).find("display-sim: ready"), std::string::npos);
  // Entries without an IP address are never connected.
  std::vector<std::string> stored;
  for (int i = 0; i < kMaxDisplays - 1; ++i) stored.push_back("stored-" + std::to_string(i));
  Configure(stored);
  core->BuildTree();
  const size_t before = ui.Messages().size();

  Search();
  EXPECT_EQ(doc->m_docSocketNumber, kMaxDisplays);
  EXPECT_EQ(doc->m_docDisplays[kMaxDisplays - 1].m_address, a);
  EXPECT_EQ(Singles().size(), static_cast<size_t>(kMaxDisplays));
  const std::vector<std::string> messages = ui.Messages();
  EXPECT_EQ(std::vector<std::string>(messages.begin() + static_cast<long>(before), messages.end()),
            std::vector<std::string>{CDisplayDiscovery::kListFull});
}

}  // namespace
}  // namespace tarnex
