// What a hand-edited configuration can hold: an address that is no address, a name with a
// control character, a group that lists one silent display a thousand times.
#include <gtest/gtest.h>

#include "console/command_transaction.h"
#include "console/group_editor.h"
#include "console/link_supervisor.h"
#include "support/loopback_block.h"
#include "support/selection_fixture.h"

namespace tarnex {
namespace {

using testing::Loopback;
using Texts = std::vector<std::string>;

class StoredInputTest : public testing::SelectionFixture {
 protected:
  // A group of that name listing the display `count` times.
  std::pair<std::string, std::vector<std::string>> Listing(const std::string& name,
                                                           const std::string& address, int count) {
    std::vector<std::string> members;
    for (int k = 1; k <= count; ++k) members.push_back("[" + std::to_string(k) + "]" + address);
    return {name, members};
  }
  size_t Count(const Texts& texts, const std::string& text) {
    return static_cast<size_t>(std::count(texts.begin(), texts.end(), text));
  }
};

// Kept and written back as it is, shown down, named once, never connected, and never written
// into the history as it stands.
TEST_F(StoredInputTest, AnAddressThatIsNoAddressIsKeptButNeverUsed) {
  const std::string hostile = "1.2.3.4 ; touch pwned ;";
  const std::string good = Loopback(1);
  fleet.Add({.address = good});
  Configure({hostile, good});
  core->BuildTree();

  EXPECT_EQ(ui.Messages(), Texts{"These stored displays have no valid IP address and are not "
                                 "connected: " +
                                 hostile});
  EXPECT_EQ(sockets.Connects(), Texts{good});
  EXPECT_EQ(doc->m_docConnectState[0], 0);
  EXPECT_EQ(IconOf(SingleItem(0)), TreeIcon::kDisconnected);
  Select(SingleItem(0));
  EXPECT_EQ(ui.Messages().back(), "Connection Fail");
  CLinkSupervisor(*core, pages).RunPass();
  EXPECT_EQ(sockets.Connects(), Texts{good});

  ASSERT_TRUE(doc->WriteNetworkConfig());
  COsprelNetworkManagerDoc reloaded;
  reloaded.OnNewDocument();
  EXPECT_EQ(reloaded.m_docDisplays[0].m_address, hostile);

  EXPECT_EQ(CGroupEditor(*core).DeleteProjector(), "");
  EXPECT_EQ(Operations(), (Texts{good + " Connected to Monitor",
                                 "(invalid address) Delete Monitor from Single"}));
}

TEST_F(StoredInputTest, AHistoryLineIsOneLineWhateverANameHolds) {
  Configure({});
  core->BuildTree();
  CGroupEditor editor(*core);
  ASSERT_EQ(editor.MakeGroup("Left\tRight\x1b"), "");
  Select(Tree().GroupItem(0));
  EXPECT_EQ(editor.DeleteGroup(), "");
  EXPECT_EQ(Operations(), (Texts{" Create Left?Right? Group", " Delete Left?Right? Group"}));
}

// A display given up in a group send is not tried again for its other listings: one deadline,
// one history line. A power command reads nothing, gives nobody up, and keeps a send per
// listing.
TEST_F(StoredInputTest, AGroupListingASilentDisplayOftenCostsOneDeadline) {
  const std::string silent = Loopback(2), answering = Loopback(3);
  fleet.Add({.address = silent, .silent = true});
  fleet.Add({.address = answering});
  auto echo = Listing("Echo", silent, kMaxNetworkMembers - 1);
  echo.second.push_back("[1000]" + answering);
  Configure({silent, answering}, {echo, Listing("Few", silent, 3)});
  core->BuildTree();
  fleet.ClearLog();
  Select(Tree().GroupItem(0));

  EXPECT_EQ(Send("kd 01 01\n"), "d 01 OK01x");
  EXPECT_EQ(fleet.CommandsTo(silent), Texts(3, "kd 01 01\n"));  // one exchange, two resends
  EXPECT_EQ(fleet.CommandsTo(answering), Texts{"kd 01 01\n"});
  EXPECT_EQ(Count(Operations(), silent + " Monitor is not communicated with PC"), 1u);

  CLinkSupervisor(*core, pages).RunPass();
  Select(Tree().GroupItem(1));
  fleet.ClearLog();
  Send("ka 01 00\n");
  EXPECT_TRUE(CommandsArrive(silent, 6));  // the displays log on their own thread
  EXPECT_EQ(fleet.CommandsTo(silent), Texts(6, "ka 01 00\n"));
}

}  // namespace
}  // namespace tarnex
