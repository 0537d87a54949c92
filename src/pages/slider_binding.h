#pragma once

#include <QObject>

#include <optional>
#include <string>
#include <string_view>

#include "console/console_core.h"

class QLineEdit;
class QSlider;

namespace tarnex {

// The value a slider reply carries in its two digits after "OK": "g 01 OK64x" is 100,
// "g 01 OK0ax" is 10. Nothing when those two characters are not hexadecimal digits.
std::optional<int> SliderValueOf(std::string_view reply);

// One slider of a page with the edit box beside it, bound to its setting ("kg": the query
// "kg 01 ff\n", the command "kg 01 %2x\n"). The binding owns the value member.
//
// Dragging only shows the value in the box; releasing the slider, or a change the operator
// types into the box, sends it to the selected target. Values shown after a read are never
// sent back.
class SliderBinding : public QObject {
 public:
  SliderBinding(CConsoleCore& core, QSlider* slider, QLineEdit* box, std::string_view letters,
                QObject* parent = nullptr);

  int Value() const { return m_value; }
  // The value member to the slider and the box.
  void Show();
  // The reader: asks the display and shows its value. True when a reply arrived; a reply
  // without a value leaves the controls as they are.
  bool Read();
  // The command that sends the value member.
  std::string SetCommand() const;

 private:
  void OnSliderMoved(int position);
  void OnSliderReleased();
  void OnBoxEdited();
  void Send();

  CConsoleCore& m_core;
  QSlider* m_slider;
  QLineEdit* m_box;
  std::string m_letters;
  int m_value = 0;
};

}  // namespace tarnex
