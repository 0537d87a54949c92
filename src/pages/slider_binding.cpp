#include "pages/slider_binding.h"

#include <QIntValidator>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QSlider>

#include "console/command_transaction.h"
#include "monitor/page_setter.h"
#include "monitor/page_state.h"
#include "protocol/command_frame.h"

namespace tarnex {
namespace {

constexpr int kSliderMax = 100;

}  // namespace

std::optional<int> SliderValueOf(std::string_view reply) {
  return protocol::ReadNumericReply(reply);
}

SliderBinding::SliderBinding(CConsoleCore& core, QSlider* slider, QLineEdit* box,
                             std::string_view letters, QObject* parent)
    : QObject(parent), m_core(core), m_slider(slider), m_box(box), m_letters(letters) {
  m_slider->setRange(0, kSliderMax);
  // The value travels as two hexadecimal digits: a negative or larger number would not fit
  // the command frame.
  m_box->setValidator(new QIntValidator(0, kSliderMax, m_box));
  connect(m_slider, &QSlider::valueChanged, this, &SliderBinding::OnSliderMoved);
  connect(m_slider, &QSlider::sliderReleased, this, &SliderBinding::OnSliderReleased);
  connect(m_box, &QLineEdit::textEdited, this, &SliderBinding::OnBoxEdited);
  Show();
}

void SliderBinding::Show() {
  const QSignalBlocker quietSlider(m_slider);
  m_slider->setValue(m_value);
  m_box->setText(QString::number(m_value));
}

bool SliderBinding::Read() {
  const std::optional<std::string> reply =
      m_core.Transaction().SendCommand(protocol::BuildQuery(m_letters));
  if (!reply || reply->empty()) return false;
  NoteSelectedAnswered(m_core);
  if (const auto value = SliderValueOf(*reply)) {
    m_value = *value;
    Show();
  }
  return true;
}

std::string SliderBinding::SetCommand() const {
  return protocol::BuildSetValue(m_letters, m_value);
}

// Keyboard and page steps end at once; a drag ends when the slider is released.
void SliderBinding::OnSliderMoved(int position) {
  m_value = position;
  m_box->setText(QString::number(m_value));
  if (!m_slider->isSliderDown()) Send();
}

void SliderBinding::OnSliderReleased() {
  Send();
}

// A text that is no number yet (an emptied box) sends the value the member still holds.
void SliderBinding::OnBoxEdited() {
  bool ok = false;
  const int typed = m_box->text().toInt(&ok);
  if (ok) {
    m_value = typed;
    const QSignalBlocker quietSlider(m_slider);
    m_slider->setValue(m_value);
  }
  Send();
}

void SliderBinding::Send() {
  SendToTarget(m_core, SetCommand());
}

}  // namespace tarnex
