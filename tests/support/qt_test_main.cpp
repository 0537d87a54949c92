#include <gtest/gtest.h>

#include <QApplication>

// The main of the widget tests: one QApplication for every test of the binary, offscreen
// unless the caller chose a platform.
int main(int argc, char* argv[]) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::testing::InitGoogleTest(&argc, argv);
  QApplication application(argc, argv);
  return RUN_ALL_TESTS();
}
