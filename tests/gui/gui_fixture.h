#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <QTest>
#include <fstream>
#include <string>

#include "app/operator_messages.h"
#include "platform/private_profile.h"

// Failures print texts as text.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace tarnex::testing {

// Runs the event loop until the condition holds or the time is up.
template <typename Condition>
bool RunUntil(Condition condition, int timeoutMs = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!condition()) {
    if (clock.elapsed() > timeoutMs) return false;
    QTest::qWait(10);
  }
  return true;
}

// Every message the console would have shown in a box, in order, without a box.
class MessageRecorder {
 public:
  MessagePresenter Presenter() {
    return [this](QWidget*, const QString& text) { messages.append(text); };
  }
  QStringList messages;
};

// A fresh configuration folder per test, as TARNEX_CONFIG_DIR.
class ConfigFolderFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tarnex-gui-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder = std::string(pattern) + "/";
    ::setenv("TARNEX_CONFIG_DIR", folder.c_str(), 1);
  }
  void TearDown() override {
    DropPrivateProfileCache();
    std::system(("rm -rf '" + folder + "'").c_str());
  }

  void WriteFile(const std::string& name, const std::string& text) const {
    std::ofstream(folder + name, std::ios::binary) << text;
  }
  std::string ReadFile(const std::string& name) const {
    std::ifstream in(folder + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::string folder;
};

}  // namespace tarnex::testing
