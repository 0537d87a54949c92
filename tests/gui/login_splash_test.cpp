#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/login_dialog.h"
#include "app/splash_dialog.h"
#include "app/window_layout.h"
#include "gui_fixture.h"
#include "platform/scratch_folder.h"

namespace tarnex {
namespace {

using testing::MessageRecorder;

class LoginTest : public ::testing::Test {
 protected:
  void Attempt(const QString& id, const QString& password) {
    dialog.IdEdit()->clear();
    dialog.PasswordEdit()->clear();
    QTest::keyClicks(dialog.IdEdit(), id);
    QTest::keyClicks(dialog.PasswordEdit(), password);
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
  }

  MessageRecorder recorder;
  CLoginDlg dialog{{kDefaultLoginId, kDefaultLoginPassword}, recorder.Presenter()};
};

TEST_F(LoginTest, WrongAttemptsAreToldAndTheDialogStaysUntilTheRightPair) {
  dialog.show();
  Attempt("Administrator", "5379");
  Attempt("administrator", "5378");
  Attempt("Admin", "0000");
  EXPECT_EQ(recorder.messages,
            QStringList({"Error Password", "Error ID", "Error ID and Password"}));
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.ResultFlag(), 1);

  Attempt("Administrator", "5378");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.ResultFlag(), 0);
  EXPECT_EQ(recorder.messages.size(), 3);
}

TEST_F(LoginTest, TheComparisonIsExact) {
  dialog.show();
  Attempt("Administrator ", "5378");
  Attempt("ADMINISTRATOR", "5378");
  Attempt("Administrator", " 5378");
  EXPECT_EQ(recorder.messages, QStringList({"Error ID", "Error ID", "Error Password"}));
  EXPECT_EQ(dialog.ResultFlag(), 1);
}

TEST_F(LoginTest, CancelAfterAFailedAttemptStillEndsTheStart) {
  dialog.show();
  Attempt("Administrator", "wrong");
  QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(dialog.ResultFlag(), 1);
}

TEST_F(LoginTest, ThePasswordIsHiddenAndTheCaptionIsLogin) {
  EXPECT_EQ(dialog.windowTitle(), "Login");
  EXPECT_EQ(dialog.PasswordEdit()->echoMode(), QLineEdit::Password);
  EXPECT_EQ(dialog.IdEdit()->echoMode(), QLineEdit::Normal);
}

TEST(WindowLayout, KoreanIsRecognisedFromTheLocaleName) {
  EXPECT_EQ(LanguageFlagFor("ko_KR.UTF-8"), 1);
  EXPECT_EQ(LanguageFlagFor("ko"), 1);
  EXPECT_EQ(LanguageFlagFor("en_US"), 0);
  EXPECT_EQ(LanguageFlagFor("en_GB.UTF-8"), 0);
  EXPECT_EQ(LanguageFlagFor("kok_IN"), 0);  // Konkani, not Korean
  EXPECT_EQ(LanguageFlagFor("C"), 0);
  EXPECT_EQ(LanguageFlagFor(""), 0);
}

TEST(WindowLayout, SizeFollowsLanguageAndDpi) {
  EXPECT_EQ(FixedWindowSize(0, 96), QSize(814, 630));
  EXPECT_EQ(FixedWindowSize(1, 96), QSize(912, 590));
  EXPECT_EQ(FixedWindowSize(0, 120), QSize(1072, 766));
  EXPECT_EQ(FixedWindowSize(1, 120), QSize(1072, 728));
  EXPECT_EQ(FixedWindowSize(0, 72), QSize(814, 630));
  EXPECT_EQ(FixedWindowSize(0, 144), QSize(1072, 766));
}

// A kept size is grown to the least one; a missing file, or values no screen has, give it.
TEST(WindowLayout, AKeptSizeIsNeverBelowTheLeast) {
  testing::ScratchFolder folder;
  const std::string path = folder.File(kWindowSizeFile);
  const QSize least(814, 630);
  EXPECT_EQ(StoredWindowSize(path, least), least);
  ASSERT_TRUE(StoreWindowSize(path, QSize(1200, 500)));
  EXPECT_EQ(StoredWindowSize(path, least), QSize(1200, 630));
  for (const char* kept : {"Width=-5\nHeight=700", "Width=99999\nHeight=700", "Width=x"}) {
    testing::WriteBytes(path, std::string("[Window]\n") + kept + "\n");
    EXPECT_EQ(StoredWindowSize(path, least), least) << kept;
  }
}

// A window standing in for the main window behind the splash, counting what reaches it.
class InputCounter : public QWidget {
 public:
  int keys = 0;
  int clicks = 0;

 protected:
  void keyPressEvent(QKeyEvent*) override { ++keys; }
  void mousePressEvent(QMouseEvent*) override { ++clicks; }
};

class SplashTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.show();
    window.setFocus();
    splash = new CSplashDlg;
    splash->SetOnDismissed([this] { ++dismissals; });
    splash->Start();
  }
  void TearDown() override { delete splash.data(); }

  InputCounter window;
  QPointer<CSplashDlg> splash;
  int dismissals = 0;
};

TEST_F(SplashTest, AKeyPressClosesTheSplashAndNeverReachesTheWindow) {
  QTest::keyClick(&window, Qt::Key_Space);
  EXPECT_EQ(window.keys, 0);
  EXPECT_EQ(dismissals, 1);
  EXPECT_FALSE(splash->isVisible());

  QTest::keyClick(&window, Qt::Key_Space);
  EXPECT_EQ(window.keys, 1);
  EXPECT_EQ(dismissals, 1);
}

TEST_F(SplashTest, AMouseButtonClosesTheSplashAndIsConsumed) {
  QTest::mousePress(&window, Qt::RightButton);
  EXPECT_EQ(window.clicks, 0);
  EXPECT_EQ(dismissals, 1);
  QTest::mousePress(&window, Qt::LeftButton);
  EXPECT_EQ(window.clicks, 1);
}

TEST_F(SplashTest, TheSplashGoesByItselfAfterItsTime) {
  QElapsedTimer clock;
  clock.start();
  EXPECT_TRUE(testing::RunUntil([&] { return splash.isNull(); }, 3000));
  EXPECT_GE(clock.elapsed(), CSplashDlg::kLifetimeMs - 50);
  EXPECT_EQ(dismissals, 1);
  QTest::keyClick(&window, Qt::Key_A);
  EXPECT_EQ(window.keys, 1);
}

}  // namespace
}  // namespace tarnex
