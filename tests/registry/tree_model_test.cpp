#include "registry/tree_model.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "registry/tree_event_recorder.h"

namespace tarnex {
namespace {

const TreeImages kRed = TreeImages::Both(TreeIcon::kDisconnected);
const TreeImages kCyan = TreeImages::Both(TreeIcon::kConnected);

std::vector<std::string> Labels(const TreeModel& model, TreeItem parent) {
  std::vector<std::string> labels;
  for (const TreeItem item : model.Children(parent)) labels.push_back(model.Label(item));
  return labels;
}

TEST(TreeModel, InsertAndRemoveAreAnnouncedWithParentAndRow) {
  TreeModel model;
  TreeEventRecorder recorder;
  model.AddObserver(&recorder);
  const TreeItem root = model.Append(kNoItem, "Single", kRed);
  const TreeItem a = model.Append(root, "A", kRed);
  const TreeItem b = model.Append(root, "B", kRed);
  const TreeItem b1 = model.Append(b, "B1", kRed);
  recorder.events.clear();

  // Removing a with its subtree is one row of its parent; the row below moves up.
  ASSERT_TRUE(model.Remove(a));
  const TreeItem c = model.Append(root, "C", kRed);
  const std::string r = std::to_string(root);
  EXPECT_EQ(recorder.events,
            (std::vector<std::string>{"about-to-remove " + r + ":0 #" + std::to_string(a),
                                      "removed " + r + ":0 #0", "about-to-insert " + r + ":1 #0",
                                      "inserted " + r + ":1 #" + std::to_string(c)}));
  EXPECT_EQ(model.Row(b), 0);
  EXPECT_EQ(model.Row(c), 1);
  EXPECT_EQ(Labels(model, root), (std::vector<std::string>{"B", "C"}));

  // A subtree goes in one event for its top item.
  recorder.events.clear();
  ASSERT_TRUE(model.Remove(b));
  EXPECT_EQ(recorder.events.size(), 2u);
  EXPECT_FALSE(model.Contains(b1));
  EXPECT_EQ(model.Size(), 2u);
}

TEST(TreeModel, ChangesAreAnnouncedOnlyWhenSomethingChanged) {
  TreeModel model;
  const TreeItem root = model.Append(kNoItem, "Single", kRed);
  const TreeItem a = model.Append(root, "A", kRed);
  TreeEventRecorder recorder;
  model.AddObserver(&recorder);
  model.SetLabel(a, "A");
  model.SetImages(a, kRed);
  model.SetExpanded(a, false);
  EXPECT_TRUE(recorder.events.empty());
  model.SetLabel(a, "[x]A");
  model.SetImages(a, kCyan);
  model.SetExpanded(root, true);
  const std::string at = std::to_string(root) + ":0 #" + std::to_string(a);
  EXPECT_EQ(recorder.events, (std::vector<std::string>{"label " + at, "images " + at,
                                                       "expanded 0:0 #" + std::to_string(root)}));
}

TEST(TreeModel, HandlesAreNeverReusedAndStaleOnesAreHarmless) {
  TreeModel model;
  std::set<TreeItem> seen;
  const TreeItem root = model.Append(kNoItem, "Single", kRed);
  seen.insert(root);
  TreeItem stale = kNoItem;
  for (int round = 0; round < 50; ++round) {
    const TreeItem item = model.Append(root, "A", kRed);
    EXPECT_TRUE(seen.insert(item).second) << "handle given twice: " << item;
    model.Append(item, "child", kRed);
    ASSERT_TRUE(model.Remove(item));
    stale = item;
  }
  model.Clear();
  EXPECT_TRUE(seen.insert(model.Append(kNoItem, "again", kRed)).second);

  // Every question about a gone item has an answer, and no change reaches the tree.
  EXPECT_FALSE(model.Contains(stale));
  EXPECT_EQ(model.Label(stale), "");
  EXPECT_EQ(model.Parent(stale), kNoItem);
  EXPECT_TRUE(model.Children(stale).empty());
  EXPECT_EQ(model.Row(stale), -1);
  EXPECT_EQ(model.Append(stale, "orphan", kRed), kNoItem);
  EXPECT_FALSE(model.Remove(stale));
  EXPECT_FALSE(model.SetLabel(stale, "x"));
  EXPECT_FALSE(model.SetImages(stale, kCyan));
  EXPECT_EQ(model.Child(kNoItem, 1), kNoItem);
  EXPECT_EQ(model.Child(kNoItem, -1), kNoItem);
  EXPECT_EQ(model.Size(), 1u);
}

// An observer that detaches while being notified must not disturb the others.
TEST(TreeModel, AnObserverMayDetachDuringANotification) {
  struct Detacher : TreeObserver {
    TreeModel* model = nullptr;
    int calls = 0;
    void OnInserted(const TreeRow&) override {
      ++calls;
      model->RemoveObserver(this);
    }
  };
  TreeModel model;
  Detacher detacher;
  detacher.model = &model;
  TreeEventRecorder recorder;
  model.AddObserver(&detacher);
  model.AddObserver(&recorder);
  model.Append(kNoItem, "Single", kRed);
  model.Append(kNoItem, "Group", kRed);
  EXPECT_EQ(detacher.calls, 1);
  EXPECT_EQ(recorder.events.size(), 4u);
}

}  // namespace
}  // namespace tarnex
