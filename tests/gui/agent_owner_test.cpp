#include <sys/stat.h>

#include <QPushButton>
#include <QTest>
#include <QTreeView>

#include <fstream>
#include "agent_login.h"
#include "app/agent_mode.h"
#include "app/main_frame.h"
#include "gui_fixture.h"

#include "support/agent_rig.h"

namespace tarnex {
namespace {

// The window over a real agent: a group powered off from the window goes over the agent's own
// connections, and no display sees a second one.
TEST(AgentOwnerTest, AWindowOverTheAgentOpensNoLinkOfItsOwn) {
  testing::MosquittoBroker broker;
  testing::AgentRig rig(broker, 3, {{"Hall", {2, 0, 1}}});
  ASSERT_TRUE(rig.Start()) << rig.error;
  ASSERT_TRUE(rig.Settle());
  ASSERT_TRUE(testing::AgentRig::Eventually([&] { return rig.agent->Listening(); }));

  COsprelNetworkManagerDoc doc;
  doc.OnNewDocument();
  CMainFrame::Options options;
  testing::MessageRecorder recorder;
  options.view.presenter = recorder.Presenter();
  options.view.agent = testing::OperatorOverAgent(broker, rig.folder);
  LoginCredentials login{kDefaultLoginId, kDefaultLoginPassword};
  auto frame = std::make_unique<CMainFrame>(doc, login, options);
  COsprelNetworkManagerView& view = frame->View();
  view.OnInitialUpdate();
  AgentTreeModel& model = view.Agent()->Model();
  ASSERT_TRUE(testing::RunUntil([&] { return model.rowCount(model.index(1, 0)) == 1; }));
  view.TreeView()->setCurrentIndex(model.index(0, 0, model.index(1, 0)));
  QCoreApplication::processEvents();
  QPushButton* off = view.Agent()->Sheet().PowerOffButton();
  ASSERT_TRUE(testing::RunUntil([&] { return off->isEnabled(); }));
  QTest::mouseClick(off, Qt::LeftButton);

  ASSERT_TRUE(testing::RunUntil([&] {
    for (int i = 0; i < 3; ++i)
      if (rig.CommandsTo(i, "ka 01 00\n") < 2) return false;
    return true;
  }));
  ASSERT_TRUE(rig.agent->Intake().WaitIdle(std::chrono::seconds(5)));
  std::vector<std::string> sent;
  for (const std::string& line : rig.Operations())
    if (line.ends_with("Power Off")) sent.push_back(line);
  EXPECT_EQ(sent, (std::vector<std::string>{rig.addresses[2] + " Power Off",
                                            rig.addresses[0] + " Power Off",
                                            rig.addresses[1] + " Power Off"}));
  for (const std::string& address : rig.addresses)
    EXPECT_EQ(rig.fleet.Find(address)->Connections(), 1) << address;
  EXPECT_TRUE(recorder.messages.isEmpty()) << recorder.messages.join("; ").toStdString();
  frame.reset();
}

}  // namespace
}  // namespace tarnex
