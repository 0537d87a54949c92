#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <filesystem>
#include <string>

// The main of the widget tests: one QApplication for every test of the binary, offscreen
// unless the caller chose a platform. The console keeps its owner lock and socket in the
// runtime folder; the tests keep theirs in a scratch one, so that none meets a console the
// machine runs, nor leaves anything behind.
int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  char runtime[] = "/tmp/tarnex-gui-run-XXXXXX";
  const bool scratch = ::mkdtemp(runtime) != nullptr;
  if (scratch) ::setenv("XDG_RUNTIME_DIR", runtime, 1);
  ::testing::InitGoogleTest(&argc, argv);
  int status = 0;
  {
    QApplication application(argc, argv);
    status = RUN_ALL_TESTS();
  }
  std::error_code ignored;
  if (scratch) std::filesystem::remove_all(runtime, ignored);
  return status;
}
