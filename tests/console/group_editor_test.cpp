#include "console/group_editor.h"

#include <gtest/gtest.h>

#include "console/selection_handler.h"
#include "registry/tree_labels.h"
#include "support/console_fixture.h"

namespace tarnex {
namespace {

using testing::ConsoleFixture;
using testing::Loopback;
using Texts = std::vector<std::string>;

class GroupEditorTest : public ConsoleFixture {
 protected:
  void SetUp() override {
    ConsoleFixture::SetUp();
    handler = std::make_unique<CSelectionHandler>(*core, pages);
    editor = std::make_unique<CGroupEditor>(*core);
  }
  void Select(TreeItem item) {
    handler->OnSelectionChanged(item);
    Settle();
  }
  TreeItem Member(int group, int row) const {
    return Tree().Model().Child(Tree().GroupItem(group), row);
  }
  Texts Members(int group) const {
    Texts labels;
    for (TreeItem item : Tree().Model().Children(Tree().GroupItem(group))) {
      labels.push_back(Tree().Model().Label(item));
    }
    return labels;
  }

  PageHost pages;
  std::unique_ptr<CSelectionHandler> handler;
  std::unique_ptr<CGroupEditor> editor;
};

TEST_F(GroupEditorTest, GroupNamesAreCheckedAndCountedAsTheTableAllows) {
  Configure({});
  core->BuildTree();
  EXPECT_EQ(editor->MakeGroup(""), "Please Make Group!");
  EXPECT_EQ(editor->MakeGroup("Hall"), "");
  EXPECT_EQ(editor->MakeGroup("Hall"), "Hall has been Already decided");
  EXPECT_EQ(editor->MakeGroup("Bad\nName"), "A name cannot hold a line break.");
  EXPECT_EQ(doc->m_docGroupNumCount, 1);
  EXPECT_EQ(Tree().GroupCount(), 1);
  for (int g = 1; g < kMaxGroups; ++g) ASSERT_EQ(editor->MakeGroup("G" + std::to_string(g)), "");
  EXPECT_EQ(editor->MakeGroup("One too many"),
            "No more groups can be made: the console holds 300.");
  EXPECT_EQ(doc->m_docGroupNumCount, kMaxGroups);
  EXPECT_EQ(Tree().GroupCount(), kMaxGroups);
}

TEST_F(GroupEditorTest, SerialGroupsMayShareANameAndAMemberDeleteStaysInItsGroup) {
  doc->m_docCommunicationSelect = kSerialMode;
  core->BuildTree();
  EXPECT_EQ(editor->MakeGroup("Wall"), "");
  EXPECT_EQ(editor->MakeGroup("Wall"), "");
  EXPECT_EQ(doc->m_docSerialGroupNumCount, 2);
  // A set ID that answered joins; the same one again is refused silently.
  doc->m_docSerialConnectState[5] = 1;
  const TreeItem set5 = Tree().Model().Child(Tree().Model().Child(Tree().SingleRoot(), 1), 4);
  Select(set5);
  EXPECT_EQ(editor->AddToGroup(0), "");
  EXPECT_EQ(editor->AddToGroup(0), "");
  EXPECT_EQ(editor->AddToGroup(1), "");
  Select(Tree().Model().Child(Tree().Model().Child(Tree().SingleRoot(), 1), 5));  // PJTR 6
  EXPECT_EQ(editor->AddToGroup(1),
            "Please connect serial cable to projector before adding to group");
  EXPECT_EQ(Members(0), Texts{"[1]PJTR 5"});

  Select(Member(0, 0));
  editor->DeleteProjector();
  EXPECT_TRUE(Members(0).empty());
  EXPECT_EQ(Members(1), Texts{"[1]PJTR 5"});
  EXPECT_EQ(doc->m_docSerialGroups[1].m_addresses, Texts{"PJTR 5"});
}

TEST_F(GroupEditorTest, AddingNeedsAConnectedDisplayAndAddsItOnce) {
  fleet.Add({.address = Loopback(1)});
  fleet.Add({.address = Loopback(2), .refuse = true});
  Configure({Loopback(1), Loopback(2)}, {{"Hall", {}}});
  core->BuildTree();
  EXPECT_EQ(editor->AddToGroup(-1), " Please select Group Name");
  EXPECT_EQ(editor->AddToGroup(7), "Please Select Group!");
  Select(SingleItem(0));
  EXPECT_EQ(editor->AddToGroup(0), "");
  EXPECT_EQ(editor->AddToGroup(0), "");
  EXPECT_EQ(Members(0), Texts{"[1]" + Loopback(1)});
  Select(SingleItem(1));  // refuses: "Connection Fail"
  EXPECT_EQ(editor->AddToGroup(0), "Please Insert Group after Connect to Projector");
  EXPECT_EQ(doc->m_docGroups[0].m_addresses, Texts{Loopback(1)});
}

// A drop asks nothing of the link, copies the display's icon and adds it once.
TEST_F(GroupEditorTest, ADisplayDroppedOnAGroupJoinsItOnce) {
  fleet.Add({.address = Loopback(8), .refuse = true});
  Configure({Loopback(8)}, {{"Hall", {}}, {"Foyer", {}}});
  core->BuildTree();
  std::string message;
  const TreeItem added = editor->AddByDrop(SingleItem(0), Tree().GroupItem(1), &message);
  ASSERT_NE(added, kNoItem);
  EXPECT_EQ(Members(1), Texts{"[1]" + Loopback(8)});
  EXPECT_EQ(IconOf(added), TreeIcon::kDisconnected);
  EXPECT_EQ(doc->m_docSelectedGroup, 1);
  EXPECT_EQ(editor->AddByDrop(SingleItem(0), Tree().GroupItem(1), &message), kNoItem);
  EXPECT_EQ(editor->AddByDrop(SingleItem(0), SingleItem(0), &message), kNoItem);  // not a group
  EXPECT_EQ(Members(1).size(), 1u);
  EXPECT_TRUE(message.empty());
}

TEST_F(GroupEditorTest, AFullNetworkGroupTakesNoMoreMembers) {
  fleet.Add({.address = Loopback(3)});
  std::vector<std::string> members;
  for (int m = 0; m < kMaxNetworkMembers; ++m) {
    members.push_back("[" + std::to_string(m + 1) + "]10.0." + std::to_string(m / 250) + "." +
                      std::to_string(m % 250 + 1));
  }
  Configure({Loopback(3)}, {{"Full", members}});
  for (int m = 0; m < kMaxNetworkMembers; ++m) {
    doc->m_docGroups[0].m_addresses[static_cast<size_t>(m)] =
        std::string(DisplayKey(members[static_cast<size_t>(m)]));
  }
  core->BuildTree();
  Select(SingleItem(0));
  EXPECT_EQ(editor->AddToGroup(0), "No more displays can join this group: it holds 1000.");
  EXPECT_EQ(Tree().Model().ChildCount(Tree().GroupItem(0)), kMaxNetworkMembers);
}

TEST_F(GroupEditorTest, DeletingADisplayOrAGroupKeepsTheRestInOrder) {
  for (const std::string& address : {Loopback(4), Loopback(5), Loopback(6)}) {
    fleet.Add({.address = address});
  }
  Configure({Loopback(4), Loopback(5), Loopback(6)},
            {{"A", {"[1]" + Loopback(4), "[2]" + Loopback(5)}},
             {"B", {"[1]" + Loopback(5), "[2]" + Loopback(6)}},
             {"C", {"[1]" + Loopback(6)}}});
  for (auto [g, m, address] : {std::tuple{0, 0, Loopback(4)},
                               {0, 1, Loopback(5)},
                               {1, 0, Loopback(5)},
                               {1, 1, Loopback(6)},
                               {2, 0, Loopback(6)}}) {
    doc->m_docGroups[static_cast<size_t>(g)].m_addresses[static_cast<size_t>(m)] = address;
  }
  core->BuildTree();

  // A display in two groups leaves both; the members after it close up and are renumbered.
  Select(SingleItem(1));
  editor->DeleteProjector();
  EXPECT_EQ(Tree().SingleLabels(), (Texts{Loopback(4), Loopback(6)}));
  EXPECT_EQ(doc->m_docSocketNumber, 2);
  EXPECT_EQ(doc->m_docDisplays[1].m_address, Loopback(6));
  EXPECT_EQ(doc->m_docConnectState[1], 1);
  EXPECT_EQ(Members(0), Texts{"[1]" + Loopback(4)});
  EXPECT_EQ(Members(1), Texts{"[1]" + Loopback(6)});
  EXPECT_EQ(doc->m_docGroups[1].m_addresses, Texts{Loopback(6)});
  EXPECT_EQ(Operations().back(), Loopback(5) + " Delete Monitor from Single");
  // The moved display still answers on its own link.
  Select(SingleItem(1));
  EXPECT_TRUE(Send("kd 01 ff\n"));
  EXPECT_EQ(fleet.CommandsTo(Loopback(6)).back(), "kd 01 ff\n");

  // The first of three groups goes; the others move up with their members.
  Select(Tree().GroupItem(0));
  editor->DeleteGroup();
  EXPECT_EQ(doc->m_docGroupNumCount, 2);
  EXPECT_EQ(doc->m_docGroupName[0], "B");
  EXPECT_EQ(doc->m_docGroupName[1], "C");
  EXPECT_EQ(Members(0), Texts{"[1]" + Loopback(6)});
  EXPECT_EQ(Members(1), Texts{"[1]" + Loopback(6)});
  EXPECT_EQ(Operations().back().substr(Operations().back().find(' ') + 1), "Delete A Group");
}

TEST_F(GroupEditorTest, RenamingAndTheSaveThatFollows) {
  fleet.Add({.address = Loopback(7)});
  Configure({Loopback(7)}, {{"Hall", {"[1]" + Loopback(7)}}});
  doc->m_docGroups[0].m_addresses[0] = Loopback(7);
  core->BuildTree();
  Select(SingleItem(0));

  EXPECT_EQ(editor->ChangeName(""), "");  // cancelled
  EXPECT_EQ(editor->ChangeName("Line\rBreak"), "A name cannot hold a line break.");
  EXPECT_EQ(Tree().SingleLabels(), Texts{Loopback(7)});
  EXPECT_EQ(editor->ChangeName("Stage"), "");
  EXPECT_EQ(Tree().SingleLabels(), Texts{"[Stage]" + Loopback(7)});
  EXPECT_EQ(Members(0), Texts{"[1][Stage]" + Loopback(7)});
  editor->ChangeName("NULL");
  EXPECT_EQ(Tree().SingleLabels(), Texts{Loopback(7)});
  EXPECT_EQ(Members(0), Texts{"[1]" + Loopback(7)});
  editor->ChangeName("Stage Left");
  EXPECT_EQ(Operations().back(), Loopback(7) + " Change Monitor Name");

  // What the tree shows is what the next start reads.
  {
    auto state = core->Lock();
    ASSERT_TRUE(doc->WriteNetworkConfig());
  }
  COsprelNetworkManagerDoc reread;
  reread.OnNewDocument();
  EXPECT_EQ(reread.m_docDisplays[0].m_label, "[Stage Left]" + Loopback(7));
  EXPECT_EQ(reread.m_docGroups[0].m_labels, Texts{"[1][Stage Left]" + Loopback(7)});
  EXPECT_EQ(reread.m_docGroups[0].m_addresses, Texts{Loopback(7)});
}

}  // namespace
}  // namespace tarnex
