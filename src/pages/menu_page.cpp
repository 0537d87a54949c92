#include "pages/menu_page.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QSlider>
#include <QVBoxLayout>

#include <utility>

#include <mutex>

#include "monitor/display_kind.h"
#include "monitor/page_setter.h"
#include "monitor/page_state.h"
#include "monitor/refresh_steps.h"
#include "pages/choice_list.h"
#include "pages/slider_binding.h"

namespace tarnex {
namespace {

QString TextOf(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

constexpr int kBoxWidth = 48;

}  // namespace

CMenuPage::CMenuPage(CConsoleCore& core, PageKind kind, std::span<const PageSetting> settings,
                     Reader reader, QWidget* parent)
    : CPropertyPage(core, kind, parent),
      m_settings(settings),
      m_reader(reader),
      m_controls(settings.size()) {
  auto* layout = new QVBoxLayout(this);
  for (int setting = 0; setting < SettingCount(); ++setting) layout->addWidget(BuildFrame(setting));
  layout->addStretch(1);
}

QWidget* CMenuPage::BuildFrame(int setting) {
  const PageSetting& table = m_settings[static_cast<size_t>(setting)];
  const QString title = TextOf(table.frame);
  const QString letters = TextOf(table.letters);
  Control& control = At(setting);
  if (!table.IsSlider()) {
    control.list = new QComboBox(this);
    control.list->setObjectName(letters);
    connect(control.list, &QComboBox::currentIndexChanged, this,
            [this, setting] { OnListChanged(setting); });
    return Frame(title, {control.list});
  }
  control.slider = new QSlider(Qt::Horizontal, this);
  control.box = new QLineEdit(this);
  control.slider->setObjectName(letters);
  control.box->setObjectName(letters + QStringLiteral("Box"));
  control.box->setFixedWidth(kBoxWidth);
  control.binding = new SliderBinding(Core(), control.slider, control.box, table.letters, this);
  return Frame(title, {control.slider, control.box});
}

int CMenuPage::Value(int setting) const {
  const Control& control = At(setting);
  return control.binding != nullptr ? control.binding->Value() : control.value;
}

void CMenuPage::SetSettingEnabled(int setting, bool enabled) {
  Control& control = At(setting);
  control.enabled = enabled;
  for (QWidget* widget :
       {static_cast<QWidget*>(control.list), static_cast<QWidget*>(control.slider),
        static_cast<QWidget*>(control.box)}) {
    if (widget != nullptr) ShowNativeOnly(widget, enabled, m_pjlinkOnly);
  }
}

void CMenuPage::FollowLinkKind() {
  const bool pjlinkOnly = PjlinkOnly();
  if (pjlinkOnly == m_pjlinkOnly) return;
  m_pjlinkOnly = pjlinkOnly;
  for (int setting = 0; setting < SettingCount(); ++setting) {
    SetSettingEnabled(setting, At(setting).enabled);
  }
}

// ---- Initialisation and values ----

void CMenuPage::OnInitPage() {
  for (int setting = 0; setting < SettingCount(); ++setting) {
    if (QComboBox* list = At(setting).list) {
      FillChoiceList(list, m_settings[static_cast<size_t>(setting)].entries);
    }
  }
  m_initPending = true;
  ShowValues();
}

// The first activation may not refresh (nothing usable is selected); the initialisation's
// queries then go alone.
void CMenuPage::OnSetActive() {
  CPropertyPage::OnSetActive();
  if (m_initPending) PostPlan({.initialise = true});
}

void CMenuPage::ShowValues() {
  FollowLinkKind();
  for (Control& control : m_controls) {
    if (control.binding != nullptr) {
      control.binding->Show();
    } else {
      ShowChoice(control.list, control.value);
    }
  }
}

void CMenuPage::ForgetValues() {
  for (Control& control : m_controls) {
    if (control.binding != nullptr) {
      control.binding->ShowNone();
    } else {
      control.value = -1;
      ShowChoice(control.list, control.value);
    }
  }
}

void CMenuPage::ReadControls() {
  for (Control& control : m_controls) {
    if (control.list != nullptr) control.value = control.list->currentIndex();
  }
}

// ---- Setters ----

// A position without a command is not sent, so the list must not claim it: it shows the
// display's setting again, asked anew.
void CMenuPage::OnListChanged(int setting) {
  Control& control = At(setting);
  const PageSetter setter{m_settings[static_cast<size_t>(setting)].commands};
  const int position = control.list->currentIndex();
  bool sent = false;
  if (!setter.CommandAt(position).empty()) {
    sent = setter.Post(Core(), position);
  } else {
    ShowChoice(control.list, control.value);
    if (TargetConnected(Core())) RereadSetting(setting);
  }
  ReadControls();
  AfterChoice(setting, sent);
}

void CMenuPage::RereadSetting(int setting) {
  CConsoleCore& core = Core();
  ReadContext context = ReadContext::ForSelection(core);
  if (!ReadsTarget(context)) return;
  JobKeys keys = context.Keys();
  const PageSetting& table = m_settings[static_cast<size_t>(setting)];
  core.Jobs().Post(std::move(keys), [this, setting, &table, context = std::move(context)] {
    const std::optional<int> value = ReadOneSetting(context, table);
    if (!value) return;
    QMetaObject::invokeMethod(
        this,
        [this, setting, context, value] {
          {
            auto state = Core().Lock();
            if (!context.StillSelected(state)) return;
          }
          At(setting).value = *value;
          ShowValues();
        },
        Qt::QueuedConnection);
  });
}

// ---- Reads ----

void CMenuPage::Refresh() {
  PostPlan({.initialise = m_initPending,
            .refresh = true,
            .onTop = IsOnTop(),
            .inputReadOk = SelectedDisplayFacts(Core()).inputReadOk});
}

// The reads are aimed at the selection of this moment; a group is read by its own pages.
void CMenuPage::PostPlan(const MenuReadPlan& plan) {
  ReadContext context = ReadContext::ForSelection(Core());
  if (!ReadsTarget(context)) return;
  if (plan.initialise) m_initPending = false;
  PostRead(
      std::move(context),
      [plan, reader = m_reader](const ReadContext& read) { return reader(read, plan); },
      [this](const ReadContext& read, const MenuReadings& readings) {
        ShowReadings(read, readings);
      });
}

void CMenuPage::ShowReadings(const ReadContext& context, const MenuReadings& readings) {
  if (readings.kind) StoreDisplayKind(Core(), context, *readings.kind);
  if (readings.inputAnswered && !readings.lost) {
    ApplyInputCheck(Core(), context, true, readings.creditSetId);
  }
  {
    auto state = Core().Lock();
    if (!context.StillSelected(state)) return;
    if (readings.answered) state->Tree().NoteSelectedAnswered();
  }
  if (readings.input && m_inputSink) m_inputSink(*readings.input);
  if (readings.enabled) ApplyEnabled(*readings.enabled);
  for (int setting = 0; setting < SettingCount(); ++setting) {
    const auto index = static_cast<size_t>(setting);
    if (index >= readings.values.size() || !readings.values[index]) continue;
    const int value = *readings.values[index];
    Control& control = At(setting);
    if (control.binding != nullptr) {
      control.binding->ShowValue(value);
    } else {
      control.value = value;
    }
  }
  AfterReadings(readings);
  ShowValues();
}

}  // namespace tarnex
