#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>

// The widgets need an application object; tests run offscreen unless told otherwise.
int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
