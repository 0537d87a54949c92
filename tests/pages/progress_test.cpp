#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

#include <chrono>
#include <thread>

#include "pages/progress_bar.h"

namespace tarnex {
namespace {

using Clock = std::chrono::steady_clock;

TEST(ProgressBar, ShowsPleaseWaitWhileItExistsAndRestoresTheIdleText) {
  QStatusBar status;
  status.resize(400, 24);
  CMyProgressBar progress(&status, "Ready");

  progress.Create();
  const QLabel* text = status.findChild<QLabel*>();
  ASSERT_NE(text, nullptr);
  EXPECT_EQ(text->text(), "Please Wait...");
  QProgressBar* bar = status.findChild<QProgressBar*>();
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(bar->maximum(), 100);

  progress.SetPos(40);
  EXPECT_EQ(bar->value(), 40);
  progress.SetPos(130);
  EXPECT_EQ(bar->value(), 100);

  // A group command inside a refresh: one bar, gone with the outer destroy.
  progress.Create();
  progress.Destroy();
  EXPECT_NE(status.findChild<QProgressBar*>(), nullptr);
  progress.Destroy();
  EXPECT_EQ(status.findChild<QProgressBar*>(), nullptr);
  EXPECT_EQ(status.currentMessage(), "Ready");
  progress.Destroy();  // one too many does no harm
  EXPECT_FALSE(progress.Exists());
}

TEST(ProgressBar, WorksWithoutAStatusBar) {
  CMyProgressBar progress(nullptr);
  progress.Create();
  progress.SetPos(75);
  EXPECT_TRUE(progress.Exists());
  EXPECT_EQ(progress.Pos(), 75);
  progress.Destroy();
  EXPECT_FALSE(progress.Exists());
}

TEST(ProgressBar, AStatusBarThatGoesFirstIsNotTouched) {
  auto* status = new QStatusBar;
  CMyProgressBar progress(status);
  progress.Create();
  delete status;
  progress.SetPos(50);
  progress.Destroy();
  EXPECT_FALSE(progress.Exists());
}

}  // namespace
}  // namespace tarnex
