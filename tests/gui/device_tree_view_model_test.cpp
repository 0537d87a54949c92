#include "app/device_tree_view_model.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <atomic>
#include <thread>

#include "console/console_core.h"
#include "gui_fixture.h"
#include "support/recording_ui_host.h"

namespace tarnex {
namespace {

using Role = DeviceTreeViewModel;

class TreeMirrorTest : public ::testing::Test {
 protected:
  TreeMirrorTest() {
    auto state = core.Lock();
    tree.Reset(TreeMode::kNetwork);
  }

  // Every item of the mirror as "label/icon", depth first, indented by level.
  QStringList Shape(const QModelIndex& parent = {}, const QString& indent = {}) const {
    QStringList lines;
    for (int row = 0; row < mirror.rowCount(parent); ++row) {
      const QModelIndex index = mirror.index(row, 0, parent);
      lines << indent + index.data().toString() + "/" +
                   index.data(Role::kNormalIconRole).toString();
      lines << Shape(index, indent + " ");
    }
    return lines;
  }
  // The same, read from the core.
  QStringList CoreShape(TreeItem parent = kNoItem, const QString& indent = {}) const {
    QStringList lines;
    for (const TreeItem item : tree.Model().Children(parent)) {
      lines << indent + QString::fromStdString(tree.Model().Label(item)) + "/" +
                   QString::number(static_cast<int>(tree.Model().Images(item).normal));
      lines << CoreShape(item, indent + " ");
    }
    return lines;
  }

  COsprelNetworkManagerDoc doc;
  testing::RecordingUiHost ui;
  CConsoleCore core{doc, ui};
  // Changed only with the guard held; read without it only while no other thread changes it.
  DeviceTree& tree = core.Lock()->Tree();
  DeviceTreeViewModel mirror{core};
  QAbstractItemModelTester tester{&mirror, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

TEST_F(TreeMirrorTest, InsertsRemovalsLabelsAndIconsFollowTheCore) {
  TreeItem lobby, group;
  {
    auto state = core.Lock();
    lobby = tree.AppendSingle("127.0.0.101", TreeIcon::kConnected);
    tree.AppendSingle("127.0.0.102", TreeIcon::kDisconnected);
    group = tree.AppendGroup("Hall");
    tree.AppendMember(group, "[1]127.0.0.101", TreeIcon::kConnected);
  }
  mirror.Sync();
  EXPECT_EQ(Shape(), QStringList({"Single/0", " 127.0.0.101/1", " 127.0.0.102/3", "Group/5",
                                  " Hall/4", "  [1]127.0.0.101/1"}));

  {
    auto state = core.Lock();
    tree.Relabel(lobby, "[Lobby]127.0.0.101");
    tree.MarkDisconnected("127.0.0.101");
    tree.RemoveItem(tree.FindSingleByKey("127.0.0.102"));
    tree.AppendSingle("127.0.0.103", TreeIcon::kConnected);
  }
  mirror.Sync();
  EXPECT_EQ(Shape(), CoreShape());
  EXPECT_EQ(Shape(), QStringList({"Single/0", " [Lobby]127.0.0.101/3", " 127.0.0.103/1", "Group/5",
                                  " Hall/4", "  [1]127.0.0.101/3"}));
}

// The items of a PJLink display that refused its password say so, its members included, and
// stop once it takes one; a native display at another address is left alone.
TEST_F(TreeMirrorTest, ARefusedPasswordIsTheTooltipOfTheDisplaysItems) {
  TreeItem single, member, other;
  DisplayId id;
  {
    auto state = core.Lock();
    doc.m_docSocketNumber = 2;
    doc.m_docDisplays[0].m_address = "127.0.0.107";
    doc.m_docDisplays[0].m_linkKind = LinkKind::kPjlink;
    doc.m_docDisplays[1].m_address = "127.0.0.108";
    single = tree.AppendSingle("[Hall]127.0.0.107", TreeIcon::kDisconnected);
    other = tree.AppendSingle("127.0.0.108", TreeIcon::kConnected);
    member = tree.AppendMember(tree.AppendGroup("Hall"), "[1][Hall]127.0.0.107",
                               TreeIcon::kDisconnected);
    id = state->IdAt(0);
    state->FactsOf(id)->pjlink.authFailed = true;
  }
  const auto tips = [&] {
    QStringList shown;
    for (const TreeItem item : {single, member, other}) {
      shown << mirror.IndexOf(item).data(Qt::ToolTipRole).toString();
    }
    return shown;
  };
  mirror.Sync();
  EXPECT_EQ(tips(), (QStringList{"Password rejected", "Password rejected", ""}));
  {
    auto state = core.Lock();
    state->FactsOf(id)->pjlink.authFailed = false;
  }
  mirror.Sync();
  EXPECT_EQ(tips(), (QStringList{"", "", ""}));
}

TEST_F(TreeMirrorTest, TheSelectedItemSurvivesChangesAroundIt) {
  TreeItem kept;
  {
    auto state = core.Lock();
    tree.AppendSingle("127.0.0.104", TreeIcon::kConnected);
    kept = tree.AppendSingle("127.0.0.105", TreeIcon::kConnected);
  }
  mirror.Sync();
  QItemSelectionModel selection(&mirror);
  selection.setCurrentIndex(mirror.IndexOf(kept), QItemSelectionModel::ClearAndSelect);

  {
    auto state = core.Lock();
    tree.RemoveItem(tree.FindSingleByKey("127.0.0.104"));
    tree.SetIcon(kept, TreeIcon::kDisconnected);
  }
  mirror.Sync();
  EXPECT_EQ(Role::HandleOf(selection.currentIndex()), kept);
  EXPECT_TRUE(selection.isSelected(mirror.IndexOf(kept)));
  EXPECT_EQ(selection.currentIndex().data(Role::kNormalIconRole).toInt(), 3);
}

TEST_F(TreeMirrorTest, AResetTreeIsMirroredAfresh) {
  {
    auto state = core.Lock();
    tree.AppendSingle("127.0.0.106", TreeIcon::kConnected);
  }
  mirror.Sync();
  {
    auto state = core.Lock();
    tree.BuildSerialTree({});
  }
  mirror.Sync();
  EXPECT_EQ(Shape(), CoreShape());
  EXPECT_FALSE(mirror.IndexOf(tree.FindSingleByKey("127.0.0.106")).isValid());
  const QModelIndex single = mirror.index(0, 0);
  EXPECT_EQ(mirror.rowCount(single), 11);  // "PJTR 0" and the ten ranges
}

TEST_F(TreeMirrorTest, TheCoreExpansionIsHandedToTheView) {
  {
    auto state = core.Lock();
    tree.AppendSingle("127.0.0.107", TreeIcon::kConnected);
  }
  mirror.Sync();
  const auto changes = mirror.TakeExpansionChanges();
  const QModelIndex single = mirror.IndexOf(tree.SingleRoot());
  EXPECT_NE(std::find(changes.begin(), changes.end(), std::make_pair(single, true)), changes.end());

  mirror.Sync();
  EXPECT_TRUE(mirror.TakeExpansionChanges().empty());
}

// A worker changes the tree under the lock while the UI thread syncs now and then; the mirror
// ends equal to the core, and the model tester sees only consistent announcements.
TEST_F(TreeMirrorTest, ChangesFromAWorkerAreMirroredConsistently) {
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int i = 0; i < 200; ++i) {
      auto state = core.Lock();
      const std::string address = "127.0.0." + std::to_string(110 + i % 20);
      const TreeItem found = tree.FindSingleByKey(address);
      if (found != kNoItem && i % 3 == 0) {
        tree.RemoveItem(found);
      } else if (found != kNoItem) {
        tree.SetIcon(found, i % 2 ? TreeIcon::kConnected : TreeIcon::kDisconnected);
      } else {
        tree.AppendSingle(address, TreeIcon::kConnected);
      }
    }
    done = true;
  });
  while (!done) mirror.Sync();
  worker.join();
  mirror.Sync();
  EXPECT_EQ(Shape(), CoreShape());
}

}  // namespace
}  // namespace tarnex
