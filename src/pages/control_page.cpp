#include "pages/control_page.h"

#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include <chrono>
#include <mutex>

#include "console/command_transaction.h"
#include "monitor/control_readers.h"
#include "monitor/control_tables.h"
#include "monitor/display_kind.h"
#include "monitor/link_failure.h"
#include "monitor/page_setter.h"
#include "monitor/page_state.h"
#include "monitor/pjlink_readers.h"
#include "monitor/progress_popup.h"
#include "monitor/refresh_steps.h"
#include "pages/choice_list.h"
#include "protocol/command_catalogue.h"
#include "protocol/pjlink_codec.h"

namespace tarnex {
namespace {

constexpr PageSetter kMuteSetter{control::kMuteCommands};
constexpr PageSetter kMonitorOutSetter{control::kMonitorOutCommands};

const control::InputCommand* InputCommandAt(bool listB, int position) {
  const auto& table = listB ? control::kInputCommandsKind1 : control::kInputCommandsOther;
  if (position < 0 || static_cast<size_t>(position) >= table.size()) return nullptr;
  return &table[static_cast<size_t>(position)];
}

}  // namespace

CControl::CControl(CConsoleCore& core, QWidget* parent)
    : CPropertyPage(core, PageKind::kControl, parent),
      m_powerOn(new QPushButton(QStringLiteral("Power On"), this)),
      m_powerOff(new QPushButton(QStringLiteral("Power Off"), this)),
      m_inputList(new QComboBox(this)),
      m_inputSet(new QPushButton(QStringLiteral("Set"), this)),
      m_muteList(new QComboBox(this)),
      m_monitorOutList(new QComboBox(this)),
      m_autoConfigure(new QPushButton(QStringLiteral("set"), this)) {
  BuildControls();
  ConnectHandlers();
}

QString CControl::Title() const {
  return QStringLiteral("Control");
}

QIcon CControl::Icon() const {
  return style()->standardIcon(QStyle::SP_MediaPlay);
}

// ---- Layout ----

void CControl::BuildControls() {
  m_powerOn->setObjectName(QStringLiteral("powerOn"));
  m_powerOff->setObjectName(QStringLiteral("powerOff"));
  m_inputList->setObjectName(QStringLiteral("inputList"));
  m_inputSet->setObjectName(QStringLiteral("inputSet"));
  m_muteList->setObjectName(QStringLiteral("muteList"));
  m_monitorOutList->setObjectName(QStringLiteral("monitorOutList"));
  m_autoConfigure->setObjectName(QStringLiteral("autoConfigure"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(BuildPowerRow());
  layout->addWidget(BuildInputFrame());
  layout->addWidget(BuildListFrame(QStringLiteral("Screen Mute"), m_muteList));
  layout->addWidget(BuildListFrame(QStringLiteral("RGB Monitor out"), m_monitorOutList));
  layout->addWidget(BuildAutoConfigureFrame());
  layout->addStretch(1);
}

QWidget* CControl::BuildPowerRow() {
  auto* row = new QWidget(this);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_powerOn);
  layout->addWidget(m_powerOff);
  return row;
}

QWidget* CControl::BuildInputFrame() {
  return Frame(QStringLiteral("Select Input"), {m_inputList, m_inputSet});
}

QWidget* CControl::BuildListFrame(const QString& title, QComboBox* list) {
  return Frame(title, {list});
}

QWidget* CControl::BuildAutoConfigureFrame() {
  auto* frame = new QGroupBox(QStringLiteral("Auto Configure"), this);
  auto* layout = new QHBoxLayout(frame);
  layout->addWidget(m_autoConfigure);
  layout->addStretch(1);
  return frame;
}

void CControl::ConnectHandlers() {
  connect(m_powerOn, &QPushButton::clicked, this, &CControl::OnPowerOn);
  connect(m_powerOff, &QPushButton::clicked, this, &CControl::OnPowerOff);
  connect(m_inputSet, &QPushButton::clicked, this, &CControl::OnSetInput);
  connect(m_muteList, &QComboBox::currentIndexChanged, this, &CControl::OnMuteChanged);
  connect(m_monitorOutList, &QComboBox::currentIndexChanged, this, &CControl::OnMonitorOutChanged);
  connect(m_autoConfigure, &QPushButton::clicked, this, &CControl::OnAutoConfigure);
}

// ---- Initialisation and values ----

void CControl::OnInitPage() {
  FillChoiceList(m_muteList, control::kMuteList);
  FillChoiceList(m_monitorOutList, control::kMonitorOutList);
  FillInputList();
  ShowValues();
}

void CControl::FillInputList() {
  m_pjlinkList = SelectedPjlinkDisplay();
  if (m_pjlinkList != kNoDisplay) {
    std::vector<std::string> names;
    if (m_inputCodesOf == m_pjlinkList) {
      // A code PJLink class 1 gives no name is shown as the display sent it.
      for (const std::string& code : m_inputCodes) {
        const std::string name = pjlink::InputName(code);
        names.push_back(name.empty() ? code : name);
      }
    }
    const std::vector<std::string_view> entries(names.begin(), names.end());
    FillChoiceList(m_inputList, entries);
    return;
  }
  m_inputListB = control::UsesInputListB(SelectedKind(Core()));
  FillChoiceList(m_inputList, m_inputListB
                                  ? std::span<const std::string_view>(control::kInputListB)
                                  : std::span<const std::string_view>(control::kInputListA));
}

void CControl::FollowDisplayKind() {
  if (SelectedPjlinkDisplay() != m_pjlinkList ||
      (m_pjlinkList == kNoDisplay &&
       control::UsesInputListB(SelectedKind(Core())) != m_inputListB)) {
    FillInputList();
  }
}

DisplayId CControl::SelectedPjlinkDisplay() {
  auto state = Core().Lock();
  const DisplayId id = state->Selected().display();
  return id != kNoDisplay && state->KindOf(id) == LinkKind::kPjlink ? id : kNoDisplay;
}

void CControl::FollowLinkKind() {
  const bool pjlinkOnly = PjlinkOnly();
  for (QWidget* native :
       {static_cast<QWidget*>(m_monitorOutList), static_cast<QWidget*>(m_autoConfigure)}) {
    ShowNativeOnly(native, true, pjlinkOnly);
  }
}

void CControl::ShowValues() {
  FollowDisplayKind();
  FollowLinkKind();
  ShowChoice(m_inputList, m_input);
  ShowChoice(m_muteList, m_mute);
  ShowChoice(m_monitorOutList, m_monitorOut);
}

void CControl::ForgetValues() {
  m_input = kNoInput;
  m_mute = -1;
  m_monitorOut = -1;
  ShowValues();
}

void CControl::ReadControls() {
  m_input = m_inputList->currentIndex();
  m_mute = m_muteList->currentIndex();
  m_monitorOut = m_monitorOutList->currentIndex();
}

// ---- Handlers ----
// Each handler reads its control on the UI thread and leaves the sending to the console's
// worker, behind whatever the operator asked for before.

// Unlike every other command of the page, power on is not held back without a usable target:
// it goes to whatever the transaction addresses, as operators have always been able to do.
void CControl::OnPowerOn() {
  PostToSelection(Core(), protocol::command::kPowerOn);
}

void CControl::OnPowerOff() {
  PostToTarget(Core(), protocol::command::kPowerOff);
}

void CControl::OnAutoConfigure() {
  PostToTarget(Core(), protocol::command::kAutoConfigure);
}

// The command comes from the list the operator chose from. A group send writes the history of
// each member's reply itself, so no line is written for the group here.
void CControl::OnSetInput() {
  const int position = m_inputList->currentIndex();
  if (m_pjlinkList != kNoDisplay) {
    if (TargetConnected(Core()) && m_inputCodesOf == m_pjlinkList && position >= 0 &&
        static_cast<size_t>(position) < m_inputCodes.size()) {
      SendPjlinkInput(m_inputCodes[static_cast<size_t>(position)]);
    }
  } else if (TargetConnected(Core())) {
    if (const control::InputCommand* input =
            InputCommandAt(m_inputListB, m_inputList->currentIndex())) {
      CConsoleCore& core = Core();
      CommandTarget target = core.Transaction().CaptureTarget();
      JobKeys keys = target.Keys();
      core.Jobs().Post(std::move(keys), [&core, input, target = std::move(target)] {
        core.Transaction().SendCommand(input->command, target);
        if (!target.IsGroup()) core.Transaction().AppendHistoryFor(target, input->history);
      });
    }
  }
  ReadControls();
}

void CControl::SendPjlinkInput(const std::string& code) {
  CConsoleCore& core = Core();
  CommandTarget target = core.Transaction().CaptureTarget();
  JobKeys keys = target.Keys();
  core.Jobs().Post(std::move(keys), [&core, code, target = std::move(target)] {
    core.Transaction().SendCommand(PjlinkInputCommand(code), target);
    const std::string name = pjlink::InputName(code);
    core.Transaction().AppendHistoryFor(target, "Input change to " + (name.empty() ? code : name));
  });
}

void CControl::OnMuteChanged() {
  kMuteSetter.Post(Core(), m_muteList->currentIndex());
  ReadControls();
}

void CControl::OnMonitorOutChanged() {
  kMonitorOutSetter.Post(Core(), m_monitorOutList->currentIndex());
  ReadControls();
}

// ---- Refresh ----

// The reads run on a console worker, aimed at the selection of this moment; what they found is
// shown on the UI thread while that selection stands, unless the page went meanwhile.
void CControl::RefreshControlPage() {
  const bool onTop = IsOnTop();
  PostRead(
      ReadContext::ForSelection(Core()),
      [onTop](const ReadContext& context) { return ReadControlPage(context, onTop); },
      [this](const ReadContext& context, const ControlReadings& readings) {
        ShowReadings(context, readings);
      },
      kAfterReadPause);
}

void CControl::ShowReadings(const ReadContext& context, const ControlReadings& readings) {
  if (readings.checked) ApplyInputCheck(Core(), context, readings.answered, true);
  {
    auto state = Core().Lock();
    if (!context.StillSelected(state)) return;
  }
  if (readings.inputCodes &&
      (*readings.inputCodes != m_inputCodes || context.target.display != m_inputCodesOf)) {
    m_inputCodes = *readings.inputCodes;
    m_inputCodesOf = context.target.display;
    FillInputList();
  }
  ShowReadings(readings);
}

void CControl::ShowReadings(const ControlReadings& readings) {
  if (readings.input) m_input = *readings.input;
  if (readings.monitorOut) m_monitorOut = *readings.monitorOut;
  if (readings.mute) m_mute = *readings.mute;
  ShowValues();
}

}  // namespace tarnex
