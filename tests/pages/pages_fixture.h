#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>

#include <chrono>
#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "console/selection_handler.h"
#include "monitor/display_kind.h"
#include "monitor/page_state.h"
#include "monitor/read_context.h"
#include "pages/control_page.h"
#include "pages/property_sheet.h"
#include "platform/ui_thread.h"
#include "support/console_fixture.h"
#include "support/qt_settle.h"

namespace tarnex::testing {

// The console fixture with the property sheet of the pages and the selection handling that
// calls it.
class PagesFixture : public ConsoleFixture {
 protected:
  // What the selected display answered before, as the pages keep it.
  DisplayFacts Facts() { return SelectedDisplayFacts(*core); }
  int Kind() { return Facts().kind; }
  void SetKind(int kind) {
    auto state = core->Lock();
    SelectedFacts(state)->kind = kind;
  }
  void TearDown() override {
    UnmarkUiThread();
    core->Stop();
    core->Jobs().Stop();
    handler.reset();
    sheet.reset();
    ConsoleFixture::TearDown();
  }

  // Stored displays and network groups, the tree built from them, and the sheet on top of it.
  void Start(const std::vector<std::string>& addresses,
             const std::vector<std::pair<std::string, std::vector<std::string>>>& groups = {}) {
    Configure(addresses, groups);
    core->BuildTree();
    MakeSheet();
    fleet.ClearLog();
  }
  // The serial line in place of the network: the tree of set IDs, and the sheet on top of it.
  void StartSerial(SimSerialChannel& line) {
    doc->m_docCommunicationSelect = kSerialMode;
    core->SetSerialChannel(&line);
    core->BuildTree();
    MakeSheet();
  }
  // "PJTR n" under its range item.
  TreeItem SetItem(int range, int row) const {
    const TreeModel& model = Tree().Model();
    return model.Child(model.Child(Tree().SingleRoot(), range), row);
  }
  // From here on the test's thread is the window's: a page that waits for a display on it
  // aborts the test, as the console does in debug builds.
  void MakeSheet() {
    ui.QueueUiCalls(true);
    sheet = std::make_unique<CMyPropertySheet>(*core);
    handler = std::make_unique<CSelectionHandler>(*core, *sheet);
    MarkUiThread();
    // The Information tab is on top at the start; these tests drive the Control page.
    if (controlOnTop) sheet->ShowPage(PageKind::kControl);
  }
  std::vector<std::string> Commands(const std::string& address) const {
    return fleet.CommandsTo(address);
  }

  CControl& Control() const { return *sheet->Control(); }
  template <typename W>
  W* Widget(const char* name) const {
    W* widget = sheet->Control()->findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }
  QComboBox* List(const char* name) const { return Widget<QComboBox>(name); }
  void Click(const char* name) {
    Widget<QPushButton>(name)->click();
    Settle();
  }
  void Choose(const char* list, int position) {
    List(list)->setCurrentIndex(position);
    Settle();
  }
  void Select(TreeItem item) {
    handler->OnSelectionChanged(item);
    Settle();
  }
  void Refresh() {
    sheet->RefreshActivePage();
    Settle();
  }
  // The workers idle, and what they handed to the window run on the test's thread, which is
  // the window's, until neither has anything left.
  void Settle() override {
    for (int round = 0; round < 100; ++round) {
      SettleJobs(core->Jobs());
      if (ui.RunUiCalls() == 0 && !core->Jobs().Busy()) return;
    }
  }

  // The test's own exchanges run where a job would: the test's thread is the window's.
  template <typename Work>
  auto OnWorker(Work work) {
    std::packaged_task<decltype(work())()> task(std::move(work));
    auto result = task.get_future();
    core->Jobs().Post(JobKeys::Everything(), [&task] { task(); });
    Settle();
    if (result.wait_for(std::chrono::seconds(30)) != std::future_status::ready) std::abort();
    return result.get();
  }

  // The selected display's kind, asked on the worker and stored as a page read stores it.
  int QueryKind() {
    const ReadContext context = ReadContext::ForSelection(*core);
    const int kind = OnWorker([&] { return QueryDisplayKind(context); });
    StoreDisplayKind(*core, context, kind);
    return kind;
  }

  std::unique_ptr<CMyPropertySheet> sheet;
  std::unique_ptr<CSelectionHandler> handler;
  bool controlOnTop = true;
};

}  // namespace tarnex::testing
