// The Message Setting dialog, offscreen: what it lets through to the sender and what it tells.
#include "app/message_dlg.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <string>
#include <vector>

namespace tarnex {
namespace {

struct Sent {
  std::string text;
  int alignment;
  int colour;
};

TEST(MessageDlgTest, OnlyASupportedTextIsSentAndTheCounterFollowsTheText) {
  std::vector<Sent> sent;
  std::vector<std::string> places, told;
  MessageActions actions;
  actions.place = [&](int n) { places.push_back(std::to_string(n)); };
  actions.send = [&](const std::string& text, int alignment, int colour) {
    sent.push_back({text, alignment, colour});
    return std::string();
  };
  CMessage dialog(std::move(actions),
                  [&](QWidget*, const QString& text) { told.push_back(text.toStdString()); });
  dialog.show();

  EXPECT_EQ(dialog.Counter()->text(), "0 / 70");
  EXPECT_EQ(dialog.Alignment()->checkedId(), 7);
  EXPECT_EQ(dialog.ColourList()->currentText(), "White");
  EXPECT_EQ(dialog.SizeList()->currentText(), "Medium");
  for (QWidget* control : std::vector<QWidget*>{dialog.TextEdit(), dialog.Counter(),
                                                dialog.ColourList(), dialog.SizeList()}) {
    EXPECT_FALSE(control->accessibleName().isEmpty());
  }

  dialog.OnSend();
  dialog.TextEdit()->setPlainText(QStringLiteral("Doors; open"));
  dialog.OnSend();
  dialog.TextEdit()->setPlainText(QStringLiteral("Caf\u00e9"));
  dialog.OnSend();
  dialog.TextEdit()->setPlainText(QStringLiteral("two\nlines"));
  dialog.OnSend();
  EXPECT_EQ(told, (std::vector<std::string>{
                      "Please write a message", "This sentence is not supported",
                      "This sentence is not supported", "This sentence is not supported"}));
  EXPECT_TRUE(sent.empty());

  // A paste longer than a display takes is cut, and the counter says what is there.
  dialog.TextEdit()->setPlainText(QString(80, QLatin1Char('x')));
  EXPECT_EQ(dialog.TextEdit()->toPlainText().size(), 70);
  EXPECT_EQ(dialog.Counter()->text(), "70 / 70");
  dialog.TextEdit()->setPlainText(QStringLiteral("Hi"));
  QTest::keyClick(dialog.TextEdit(), Qt::Key_Left);  // moving the cursor changes nothing
  EXPECT_EQ(dialog.Counter()->text(), "2 / 70");

  dialog.Alignment()->button(0)->click();
  EXPECT_EQ(places, std::vector<std::string>{"0"});
  dialog.ColourList()->setCurrentIndex(3);
  dialog.OnSend();
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].text, "Hi");
  EXPECT_EQ(sent[0].alignment, 0);
  EXPECT_EQ(sent[0].colour, 3);

  // Enter sends the one line; Shift+Enter breaks no line either.
  QTest::keyClick(dialog.TextEdit(), Qt::Key_Return);
  QTest::keyClick(dialog.TextEdit(), Qt::Key_Enter, Qt::ShiftModifier);
  EXPECT_EQ(dialog.TextEdit()->toPlainText(), "Hi");
  EXPECT_EQ(sent.size(), 3u);

  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_TRUE(dialog.isVisible());
}

}  // namespace
}  // namespace tarnex
