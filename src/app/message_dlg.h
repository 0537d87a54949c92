#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "app/operator_messages.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tarnex {

// What the dialog's controls do to the selected display or group. Each returns at once: the
// commands go out on the console's workers. `send` returns why nothing was sent, or nothing.
struct MessageActions {
  std::function<void(int alignment)> place;
  std::function<void(int colour)> colour;
  std::function<void(int size)> size;
  std::function<void()> clear;
  std::function<std::string(const std::string& text, int alignment, int colour)> send;
};

// "Message Setting": a line of text for the screens of the selection, its place, colour and
// size. Enter in the text sends it, as no display shows a second line; Escape does nothing;
// Close ends it.
class CMessage : public QDialog {
 public:
  static constexpr int kInitialAlignment = 7;  // Bottom/Center
  static constexpr int kInitialColour = 6;     // White
  static constexpr int kInitialSize = 1;       // Medium

  CMessage(MessageActions actions, MessagePresenter present, QWidget* parent = nullptr);

  QPlainTextEdit* TextEdit() const { return m_text; }
  QLineEdit* Counter() const { return m_counter; }
  QButtonGroup* Alignment() const { return m_alignment; }
  QComboBox* ColourList() const { return m_colour; }
  QComboBox* SizeList() const { return m_size; }
  QPushButton* ClearButton() const { return m_clear; }
  QPushButton* SendButton() const { return m_send; }
  QPushButton* CloseButton() const { return m_close; }

  void OnSend();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // The text box's Enter, with or without Shift, sends instead of breaking the line.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildLayout();
  void OnTextChanged();

  MessageActions m_actions;
  MessagePresenter m_present;
  QPlainTextEdit* m_text = nullptr;
  QLineEdit* m_counter = nullptr;
  QButtonGroup* m_alignment = nullptr;
  QComboBox* m_colour = nullptr;
  QComboBox* m_size = nullptr;
  QPushButton* m_clear = nullptr;
  QPushButton* m_send = nullptr;
  QPushButton* m_close = nullptr;
};

}  // namespace tarnex
