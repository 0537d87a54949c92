#include "app/tree_context_menu.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/group_dialogs.h"
#include "app/pjlink_dialogs.h"
#include "console/group_editor.h"
#include "support/console_fixture.h"
#include "support/jobs_held.h"

namespace tarnex {
namespace {

using Command = TreeContextMenu::Command;
using testing::Loopback;

class TreeContextMenuTest : public testing::ConsoleFixture {
 protected:
  void SetUp() override {
    ConsoleFixture::SetUp();
    menu = std::make_unique<TreeContextMenu>(
        *core, [this](QWidget*, const QString& text) { messages.push_back(text); }, nullptr);
  }
  void TearDown() override {
    menu.reset();
    ConsoleFixture::TearDown();
  }

  void Select(TreeItem item) { SelectItem(item); }
  // The entries' states in menu order, "1" enabled.
  std::string Enabled() {
    menu->Refresh();
    std::string states;
    for (QAction* action : menu->Menu().actions()) states += action->isEnabled() ? '1' : '0';
    return states;
  }
  TreeItem RangeChild(int range, int row) const {
    return Tree().Model().Child(Tree().Model().Child(Tree().SingleRoot(), range), row);
  }
  // Runs an entry with the driver answering its dialog.
  template <typename Dialog, typename Answer>
  void RunWith(Command command, Answer answer) {
    menu->SetDialogDriver([answer](QDialog& dialog) {
      auto* typed = dynamic_cast<Dialog*>(&dialog);
      ASSERT_NE(typed, nullptr);
      answer(*typed);
    });
    menu->Refresh();
    menu->Run(menu->Action(command));
  }

  std::unique_ptr<TreeContextMenu> menu;
  std::vector<QString> messages;
};

TEST_F(TreeContextMenuTest, NetworkEntriesFollowTheSelection) {
  Configure({});
  core->BuildTree();
  EXPECT_EQ(menu->Menu().actions().size(), TreeContextMenu::kCommandCount);
  EXPECT_EQ(menu->Action(Command::kSaveConfiguration)->text(), "Save Configuration");
  EXPECT_EQ(Enabled(), "100000010");  // nothing selected yet
  Select(Tree().SingleRoot());
  EXPECT_EQ(Enabled(), "100000010");
  const TreeItem single = Tree().AppendSingle(Loopback(5), TreeIcon::kConnected);
  Select(single);
  EXPECT_EQ(Enabled(), "001011110");  // no group to add to
  // An entry that is not enabled does not run.
  menu->Run(menu->Action(Command::kDeleteGroup));
  EXPECT_EQ(Tree().Model().ChildCount(Tree().SingleRoot()), 1);

  ASSERT_EQ(CGroupEditor(*core).MakeGroup("Hall"), "");
  EXPECT_EQ(Enabled(), "011011110");
  Select(Tree().GroupItem(0));
  EXPECT_EQ(Enabled(), "000101010");
  // A member whose address no display of the table holds can only leave its group.
  Select(Tree().AppendMember(Tree().GroupItem(0), "[1]" + Loopback(5), TreeIcon::kConnected));
  EXPECT_EQ(Enabled(), "001000010");
  doc->m_docSocketNumber = 1;
  doc->m_docDisplays[0].m_address = Loopback(5);
  EXPECT_EQ(Enabled(), "001001110");
}

TEST_F(TreeContextMenuTest, SerialEntriesFollowTheSelection) {
  doc->m_docCommunicationSelect = kSerialMode;
  core->BuildTree();
  ASSERT_EQ(CGroupEditor(*core).MakeGroup("Wall"), "");
  Select(Tree().Model().Child(Tree().SingleRoot(), 0));  // "PJTR 0", not inside a range
  EXPECT_EQ(Enabled(), "101000000");
  Select(Tree().Model().Child(Tree().SingleRoot(), 1));  // a range
  EXPECT_EQ(Enabled(), "101000000");
  Select(RangeChild(1, 4));  // a set ID inside it
  EXPECT_EQ(Enabled(), "110001100");
  Select(Tree().GroupItem(0));
  EXPECT_EQ(Enabled(), "100101000");
}

TEST_F(TreeContextMenuTest, MakeGroupStaysOpenOnADuplicateNetworkName) {
  Configure({});
  core->BuildTree();
  ASSERT_EQ(CGroupEditor(*core).MakeGroup("Hall"), "");
  std::vector<int> results;
  RunWith<CMakeGroupDlg>(Command::kMakeGroup, [&](CMakeGroupDlg& dialog) {
    dialog.NameEdit()->setText("Hall");
    dialog.SetButton()->click();
    results.push_back(dialog.result());
    results.push_back(dialog.Accepted());
    dialog.NameEdit()->setText("Lobby");
    dialog.SetButton()->click();
    results.push_back(dialog.result());
    results.push_back(dialog.Accepted());
  });
  EXPECT_EQ(results, (std::vector<int>{QDialog::Rejected, 0, QDialog::Accepted, 1}));
  EXPECT_EQ(messages, std::vector<QString>{"Hall has been Already decided"});
  EXPECT_EQ(doc->m_docGroupNumCount, 2);
  EXPECT_EQ(doc->m_docGroupName[1], "Lobby");
  EXPECT_EQ(Tree().Model().Label(Tree().GroupItem(1)), "Lobby");

  // An empty name is answered and ends the dialog without a group.
  messages.clear();
  RunWith<CMakeGroupDlg>(Command::kMakeGroup,
                         [](CMakeGroupDlg& dialog) { dialog.SetButton()->click(); });
  EXPECT_EQ(messages, std::vector<QString>{"Please Make Group!"});
  EXPECT_EQ(doc->m_docGroupNumCount, 2);
}

TEST_F(TreeContextMenuTest, AddToGroupTakesTheListPosition) {
  Configure({Loopback(5)});
  core->BuildTree();
  doc->m_docConnectState[0] = 1;
  const TreeItem single = Tree().AppendSingle(Loopback(5), TreeIcon::kConnected);
  ASSERT_EQ(CGroupEditor(*core).MakeGroup("Hall"), "");
  ASSERT_EQ(CGroupEditor(*core).MakeGroup("Lobby"), "");
  Select(single);
  QStringList listed;
  RunWith<CGroupSelectionDlg>(Command::kAddToGroup, [&](CGroupSelectionDlg& dialog) {
    for (int i = 0; i < dialog.GroupList()->count(); ++i) listed << dialog.GroupList()->itemText(i);
    dialog.SelectButton()->click();  // nothing chosen
  });
  EXPECT_EQ(listed, (QStringList{"Hall", "Lobby"}));
  EXPECT_EQ(messages, std::vector<QString>{" Please select Group Name"});
  EXPECT_EQ(doc->m_docSelectedGroup, -1);

  messages.clear();
  RunWith<CGroupSelectionDlg>(Command::kAddToGroup, [](CGroupSelectionDlg& dialog) {
    dialog.GroupList()->setCurrentIndex(1);
    dialog.CancelButton()->click();
  });
  EXPECT_EQ(Tree().Model().ChildCount(Tree().GroupItem(1)), 0);
  RunWith<CGroupSelectionDlg>(Command::kAddToGroup, [](CGroupSelectionDlg& dialog) {
    dialog.GroupList()->setCurrentIndex(1);
    dialog.SelectButton()->click();
  });
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(doc->m_docSelectedGroup, 1);
  EXPECT_EQ(Tree().Model().Label(Tree().Model().Child(Tree().GroupItem(1), 0)),
            "[1]" + Loopback(5));
}

TEST_F(TreeContextMenuTest, ChangeNameSetsRemovesOrKeepsTheName) {
  Configure({});
  core->BuildTree();
  const TreeItem single = Tree().AppendSingle(Loopback(5), TreeIcon::kConnected);
  Select(single);
  const auto type = [](const char* text, bool set) {
    return [text, set](CChangeName& dialog) {
      dialog.NameEdit()->setText(text);
      (set ? dialog.SetButton() : dialog.CancelButton())->click();
    };
  };
  RunWith<CChangeName>(Command::kChangeName, type("Lobby", true));
  EXPECT_EQ(Tree().Model().Label(single), "[Lobby]" + Loopback(5));
  RunWith<CChangeName>(Command::kChangeName, type("Hall", false));
  EXPECT_EQ(Tree().Model().Label(single), "[Lobby]" + Loopback(5));
  RunWith<CChangeName>(Command::kChangeName, type("", true));
  EXPECT_EQ(Tree().Model().Label(single), Loopback(5));

  CChangeName dialog;
  dialog.SetButton()->click();
  EXPECT_EQ(dialog.Pending(), "NULL");
  dialog.NameEdit()->setText("Lobby");
  dialog.CancelButton()->click();
  EXPECT_EQ(dialog.Pending(), "");
}

// Adding runs on a worker and tells what came of it; a mistyped or native address adds
// nothing. The password goes to the display selected when its entry was chosen, whatever is
// selected by the time its job runs.
TEST_F(TreeContextMenuTest, PjlinkEntriesRunOnAWorkerForTheDisplayChosen) {
  const std::string native = Loopback(31), pj = Loopback(32);
  fleet.Add({.address = native});
  fleet.AddPjlink({.address = pj, .password = "secret"});
  Configure({native});
  core->BuildTree();
  ui.QueueUiCalls(true);
  const auto add = [&](const std::string& address, const std::string& password) {
    RunWith<CAddPjlinkDlg>(Command::kAddPjlinkDisplay, [&](CAddPjlinkDlg& dialog) {
      EXPECT_EQ(dialog.PasswordEdit()->echoMode(), QLineEdit::Password);
      dialog.AddressEdit()->setText(QString::fromStdString(address));
      dialog.PasswordEdit()->setText(QString::fromStdString(password));
      dialog.OkButton()->click();
    });
    Settle();
    ui.RunUiCalls();
  };
  add("127.0.0", "");
  add(native, "");
  add(pj, "wrong");
  EXPECT_EQ(messages, (std::vector<QString>{
                          "Please enter an IPv4 address such as 192.168.0.10",
                          QString::fromStdString(native + " is already listed as a native display"),
                          QString::fromStdString(pj + " added: Password rejected")}));
  EXPECT_EQ(doc->m_docSocketNumber, 2);

  Select(SingleItem(0));
  EXPECT_EQ(Enabled().back(), '0');
  Select(SingleItem(1));
  EXPECT_EQ(Enabled().back(), '1');
  messages.clear();
  {
    testing::JobsHeld held(core->Jobs());
    RunWith<CPjlinkPasswordDlg>(Command::kPjlinkPassword, [](CPjlinkPasswordDlg& dialog) {
      dialog.PasswordEdit()->setText("secret");
      dialog.OkButton()->click();
    });
    Select(SingleItem(0));
  }
  Settle();
  ui.RunUiCalls();
  EXPECT_EQ(messages, std::vector<QString>{QString::fromStdString(pj + ": password accepted")});
  EXPECT_EQ(doc->m_docPjlinkPasswords, (PjlinkPasswords{{pj, "secret"}}));
}

TEST(GroupDialogs, EnterAndEscapeDoNotEndThem) {
  CMakeGroupDlg make([](const QString&) { return CMakeGroupDlg::Verdict{}; }, {});
  CGroupSelectionDlg selection({"Hall"});
  CChangeName rename;
  CAddPjlinkDlg add({});
  CPjlinkPasswordDlg password({});
  const std::vector<std::pair<QDialog*, std::vector<QWidget*>>> dialogs = {
      {&add, {add.AddressEdit(), add.PasswordEdit(), add.OkButton(), add.CancelButton()}},
      {&password, {password.PasswordEdit(), password.OkButton(), password.CancelButton()}},
      {&make, {make.NameEdit(), make.SetButton(), make.CancelButton()}},
      {&selection, {selection.GroupList(), selection.SelectButton(), selection.CancelButton()}},
      {&rename, {rename.NameEdit(), rename.SetButton(), rename.CancelButton()}}};
  for (const auto& [dialog, controls] : dialogs) {
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    for (QWidget* control : controls) {
      EXPECT_FALSE(control->accessibleName().isEmpty()) << control->objectName().toStdString();
      control->setFocus();
      for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
        QTest::keyClick(control, key);
        EXPECT_TRUE(dialog->isVisible()) << dialog->windowTitle().toStdString() << " " << key;
      }
    }
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    dialog->hide();
  }
}

}  // namespace
}  // namespace tarnex
