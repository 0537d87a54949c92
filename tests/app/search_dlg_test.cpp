// The Search dialog on a console core, offscreen, searching on a port of this test process
// where nobody answers.
#include "app/search_dlg.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/scratch_folder.h"
#include "support/loopback_block.h"
#include "support/recording_ui_host.h"

namespace tarnex {
namespace {

using namespace std::chrono_literals;

class SearchDlgTest : public ::testing::Test {
 protected:
  SearchDlgTest() {
    ::setenv("TARNEX_CONFIG_DIR", folder.Path().c_str(), 1);
    doc.OnNewDocument();
    SetMode(kNetworkMode);
  }
  ~SearchDlgTest() override { ::unsetenv("TARNEX_CONFIG_DIR"); }

  void SetMode(int mode) {
    auto state = core.Lock();
    state->Doc().m_docCommunicationSelect = mode;
  }
  std::unique_ptr<CSearchDlg> Open(std::chrono::milliseconds quietPeriod) {
    CSearchDlg::Options options;
    options.search.broadcastAddress = "127.255.255.255";
    options.search.port = testing::DiscoveryTestPort();
    options.search.quietPeriod = quietPeriod;
    options.search.limit = 2 * quietPeriod;
    auto dialog = std::make_unique<CSearchDlg>(core, options);
    dialog->show();
    return dialog;
  }
  static bool Completes(CSearchDlg& dialog) {
    return QTest::qWaitFor([&] { return dialog.StatusLine()->text() == "Completed"; }, 10000);
  }
  int HistoryLines(const std::string& text) {
    core.FlushHistory();
    std::ifstream in(doc.m_docConfigFolder + "Network_HistoryReport.txt");
    int count = 0;
    for (std::string line; std::getline(in, line);) count += line.find(text) != std::string::npos;
    return count;
  }

  testing::ScratchFolder folder;
  COsprelNetworkManagerDoc doc;
  testing::RecordingUiHost ui;
  CConsoleCore core{doc, ui};
};

TEST_F(SearchDlgTest, ASearchHoldsTheDialogOpenAndWritesOneHistoryLine) {
  auto dialog = Open(100ms);
  EXPECT_EQ(dialog->windowTitle(), "Network Projector Search");
  EXPECT_TRUE(dialog->SearchButton()->isEnabled());
  EXPECT_EQ(dialog->ProgressBar()->maximum(), 100);
  for (int search = 1; search <= 2; ++search) {
    dialog->StatusLine()->clear();
    QTest::mouseClick(dialog->SearchButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog->ExitButton()->isEnabled());
    EXPECT_FALSE(dialog->SearchButton()->isEnabled());
    ASSERT_TRUE(Completes(*dialog));
    EXPECT_EQ(dialog->ProgressBar()->value(), 100);
    EXPECT_TRUE(dialog->ExitButton()->isEnabled());
    EXPECT_TRUE(dialog->SearchButton()->isEnabled());
    EXPECT_EQ(HistoryLines("Broadcast Searching for Projector"), search);
  }
  QTest::mouseClick(dialog->ExitButton(), Qt::LeftButton);
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_TRUE(ui.Messages().empty());

  SetMode(kSerialMode);
  EXPECT_FALSE(Open(100ms)->SearchButton()->isEnabled());
}

// The window's close button does not wait for a search that would go on for a minute: the
// dialog goes at once and the search's worker is free within a second.
TEST_F(SearchDlgTest, TheCloseButtonCancelsARunningSearch) {
  auto dialog = Open(60s);
  QTest::mouseClick(dialog->SearchButton(), Qt::LeftButton);
  ASSERT_TRUE(core.Jobs().Busy());
  EXPECT_TRUE(dialog->close());
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_TRUE(core.Jobs().WaitIdle(1s));
}

// The console's close does not wait for a search that would go on for a minute.
TEST_F(SearchDlgTest, TheConsolesCloseCancelsARunningSearch) {
  auto dialog = Open(60s);
  QTest::mouseClick(dialog->SearchButton(), Qt::LeftButton);
  ASSERT_TRUE(core.Jobs().Busy());
  core.Stop();
  EXPECT_TRUE(core.Jobs().WaitIdle(5s));
  EXPECT_TRUE(Completes(*dialog));
  EXPECT_TRUE(dialog->ExitButton()->isEnabled());
}

}  // namespace
}  // namespace tarnex
