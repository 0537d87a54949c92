#include "app/qt_ui_host.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QWidget>
#include <thread>
#include <vector>

namespace tarnex {
namespace {

// A group send of hundreds of members moves the bar hundreds of times while the window is
// busy; the window repaints it once, at the latest position, and the destroy still follows.
TEST(QtUiHost, ProgressPositionsFromAWorkerArriveCoalescedAndInOrder) {
  QtUiHost host(MessagePresenter{});
  std::vector<std::string> seen;
  host.SetHandlers({.treeChanged = {},
                    .pageMustRefresh = {},
                    .progressCreate = [&] { seen.push_back("create"); },
                    .progressSetPos = [&](int percent) { seen.push_back(std::to_string(percent)); },
                    .progressDestroy = [&] { seen.push_back("destroy"); }});
  std::thread worker([&host] {
    host.ProgressCreate();
    for (int percent = 1; percent <= 100; ++percent) host.ProgressSetPos(percent);
    host.ProgressDestroy();
  });
  worker.join();
  QCoreApplication::processEvents();
  EXPECT_EQ(seen, (std::vector<std::string>{"create", "100", "destroy"}));

  host.ProgressSetPos(7);  // on the window's thread: at once
  EXPECT_EQ(seen.back(), "7");
}

}  // namespace
}  // namespace tarnex
