#include "pages/slider_binding.h"

#include <QCoreApplication>
#include <QIntValidator>
#include <QLineEdit>
#include <QPointer>
#include <QSignalBlocker>
#include <QSlider>

#include <optional>

#include "monitor/page_setter.h"
#include "protocol/command_frame.h"

namespace tarnex {
namespace {

constexpr int kSliderMax = 100;

}  // namespace

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
  m_box->setText(m_known ? QString::number(m_value) : QString());
}

void SliderBinding::ShowValue(int value) {
  m_value = value;
  m_known = true;
  Show();
}

void SliderBinding::ShowNone() {
  m_value = 0;
  m_known = false;
  Show();
}

// The worker must not touch the binding: a page may go while the display is still silent.
// The guard is only copied there and looked at on the UI thread, where the binding dies, and
// the application carries the call, since the binding may be gone before it is made.
void SliderBinding::ReadLater() {
  CConsoleCore& core = m_core;
  ReadContext context = ReadContext::ForSelection(core);
  JobKeys keys = context.Keys();
  core.Jobs().Post(std::move(keys), [&core, letters = m_letters, context = std::move(context),
                                     guard = QPointer<SliderBinding>(this)] {
    const SliderReading reading = ReadSliderValue(context, letters);
    if (!reading.answered) return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&core, guard, context, reading] {
          {
            auto state = core.Lock();
            if (!context.StillSelected(state)) return;  // another display's value
            state->Tree().NoteSelectedAnswered();
          }
          if (guard && reading.value) guard->ShowValue(*reading.value);
        },
        Qt::QueuedConnection);
  });
}

std::string SliderBinding::SetCommand() const {
  return protocol::BuildSetValue(m_letters, m_value);
}

// Keyboard and page steps end at once; a drag ends when the slider is released.
void SliderBinding::OnSliderMoved(int position) {
  m_value = position;
  m_known = true;
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
    m_known = true;
    const QSignalBlocker quietSlider(m_slider);
    m_slider->setValue(m_value);
  }
  Send();
}

// The command and its target are taken here, on the UI thread: a later move, or a click on
// another display, must not change what this action sends or where.
void SliderBinding::Send() {
  PostToTarget(m_core, SetCommand());
}

}  // namespace tarnex
