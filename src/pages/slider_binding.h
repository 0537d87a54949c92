#pragma once

#include <QObject>

#include <string>
#include <string_view>

#include "console/console_core.h"
#include "monitor/slider_reader.h"

class QLineEdit;
class QSlider;

namespace tarnex {

// One slider of a page with the edit box beside it, bound to its setting ("kg": the query
// "kg 01 ff\n", the command "kg 01 %2x\n"). The binding owns the value member and lives on
// the UI thread.
//
// Dragging only shows the value in the box; releasing the slider, or a change the operator
// types into the box, sends it to the selected target. The send goes to the console's worker
// with the value of that moment, behind whatever the operator asked for before. Values shown
// after a read are never sent back.
//
// Reading is split like every page read: the wait for the display runs on the worker
// (ReadSliderValue, Qt-free) and the value is shown on the UI thread (ShowValue). A page
// refresh reads all its sliders in its one job, behind its link check and progress popup, and
// hands each value to its binding's ShowValue from its queued delivery. ReadLater is that pair
// for one slider read alone.
class SliderBinding : public QObject {
 public:
  SliderBinding(CConsoleCore& core, QSlider* slider, QLineEdit* box, std::string_view letters,
                QObject* parent = nullptr);

  int Value() const { return m_value; }
  // The value member to the slider and the box; nothing is sent.
  void Show();
  // A value read from the display becomes the value member and is shown. UI thread.
  void ShowValue(int value);
  // Another selection: the box shows no value until one is read or the operator sets one.
  void ShowNone();
  // Asks the display on the console's worker and shows the value its reply carries, once the
  // UI thread gets to it. A silent display, or a reply without a value, leaves the controls as
  // they are; so does a binding destroyed before the reply arrived.
  void ReadLater();
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
  bool m_known = true;
};

}  // namespace tarnex
