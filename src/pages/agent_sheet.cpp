#include "pages/agent_sheet.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <array>

#include "agent/agent_topics.h"

namespace tarnex {
namespace {

struct Choice {
  const char* text;
  const char* word;
};

constexpr std::array<Choice, 8> kInputs = {{{"AV", "av"},
                                            {"Component1", "component1"},
                                            {"Component2", "component2"},
                                            {"RGB1", "rgb1"},
                                            {"RGB2", "rgb2"},
                                            {"HDMI1", "hdmi1"},
                                            {"HDMI2", "hdmi2"},
                                            {"HDMI3", "hdmi3"}}};
constexpr std::array<Choice, 2> kMutes = {{{"Off", "off"}, {"On", "on"}}};

// The Information page's boxes: accessible name, label, and how a state fills it.
struct InfoField {
  const char* name;
  const char* label;
  std::function<QString(const agent::DisplayState&)> text;
};

QString Word(const std::string& word) {
  return QString::fromStdString(word);
}

QString Hours(const std::optional<long long>& hours) {
  return hours ? QString::number(*hours) : QString();
}

const std::array<InfoField, 7>& InfoFields() {
  static const std::array<InfoField, 7> fields = {{
      {"Link", "Link", [](const agent::DisplayState& s) { return Word(s.link); }},
      {"Power", "Power", [](const agent::DisplayState& s) { return Word(s.power); }},
      {"Input", "Input", [](const agent::DisplayState& s) { return Word(s.input); }},
      {"Mute", "Screen Mute", [](const agent::DisplayState& s) { return Word(s.mute); }},
      {"Fan", "Fan", [](const agent::DisplayState& s) { return Word(s.fan); }},
      {"Lamp Time1", "Lamp Time1",
       [](const agent::DisplayState& s) { return Hours(s.lampHours1); }},
      {"Lamp Time2", "Lamp Time2",
       [](const agent::DisplayState& s) { return Hours(s.lampHours2); }},
  }};
  return fields;
}

template <size_t N>
void Fill(QComboBox* list, const std::array<Choice, N>& choices) {
  for (const Choice& choice : choices)
    list->addItem(QString::fromLatin1(choice.text), QString::fromLatin1(choice.word));
}

int PositionOf(const QComboBox* list, const std::string& word) {
  return list->findData(QString::fromStdString(word));
}

QString FailureText(const agent::RemoteReply& reply) {
  if (!reply.message.empty()) return QString::fromStdString(reply.message);
  return QStringLiteral("The agent could not do it (exit %1)").arg(reply.exit);
}

}  // namespace

std::string AgentTarget::Name() const {
  if (kind == Kind::kDisplay) return agent::TargetNameOfKey(key);
  if (kind == Kind::kGroup) return "group:" + group;
  return {};
}

AgentSheet::AgentSheet(Sender sender, Presenter presenter, QWidget* parent)
    : QWidget(parent), m_sender(std::move(sender)), m_presenter(std::move(presenter)) {
  m_tabs = new QTabWidget(this);
  m_tabs->addTab(BuildControlPage(), QStringLiteral("Control"));
  m_information = BuildInformationPage();
  m_tabs->addTab(m_information, QStringLiteral("Information"));
  AddUnavailablePage(QStringLiteral("Picture menu"));
  AddUnavailablePage(QStringLiteral("Advanced menu"));
  AddUnavailablePage(QStringLiteral("Special menu"));
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(m_tabs);
  FollowAvailability();
}

QWidget* AgentSheet::BuildControlPage() {
  auto* page = new QWidget(this);
  m_powerOn = new QPushButton(QStringLiteral("Power On"), page);
  m_powerOff = new QPushButton(QStringLiteral("Power Off"), page);
  m_inputList = new QComboBox(page);
  m_inputList->setAccessibleName(QStringLiteral("Select Input"));
  Fill(m_inputList, kInputs);
  m_inputSet = new QPushButton(QStringLiteral("Set"), page);
  m_inputSet->setAccessibleName(QStringLiteral("Set Input"));
  m_muteList = new QComboBox(page);
  m_muteList->setAccessibleName(QStringLiteral("Screen Mute"));
  Fill(m_muteList, kMutes);

  auto* power = new QGroupBox(QStringLiteral("Power"), page);
  auto* powerRow = new QHBoxLayout(power);
  powerRow->addWidget(m_powerOn);
  powerRow->addWidget(m_powerOff);
  auto* input = new QGroupBox(QStringLiteral("Select Input"), page);
  auto* inputRow = new QHBoxLayout(input);
  inputRow->addWidget(m_inputList, 1);
  inputRow->addWidget(m_inputSet);
  auto* mute = new QGroupBox(QStringLiteral("Screen Mute"), page);
  auto* muteRow = new QHBoxLayout(mute);
  muteRow->addWidget(m_muteList, 1);
  auto* layout = new QVBoxLayout(page);
  layout->addWidget(power);
  layout->addWidget(input);
  layout->addWidget(mute);
  layout->addStretch();

  connect(m_powerOn, &QPushButton::clicked, this, [this] { SendPower(true); });
  connect(m_powerOff, &QPushButton::clicked, this, [this] { SendPower(false); });
  connect(m_inputSet, &QPushButton::clicked, this, &AgentSheet::SendInput);
  connect(m_muteList, &QComboBox::activated, this, [this] { SendMute(); });
  return page;
}

QWidget* AgentSheet::BuildInformationPage() {
  auto* page = new QWidget(this);
  auto* form = new QFormLayout(page);
  for (const InfoField& field : InfoFields()) {
    auto* box = new QLineEdit(page);
    box->setReadOnly(true);
    box->setObjectName(QString::fromLatin1(field.name));
    box->setAccessibleName(QString::fromLatin1(field.name));
    auto* label = new QLabel(QString::fromLatin1(field.label), page);
    label->setBuddy(box);
    form->addRow(label, box);
  }
  return page;
}

void AgentSheet::AddUnavailablePage(const QString& title) {
  auto* page = new QLabel(QString::fromLatin1(kNotThroughAgent), this);
  page->setAlignment(Qt::AlignCenter);
  page->setAccessibleDescription(QString::fromLatin1(kNotThroughAgent));
  page->setEnabled(false);
  const int index = m_tabs->addTab(page, title);
  m_tabs->setTabEnabled(index, false);
  m_tabs->setTabToolTip(index, QString::fromLatin1(kNotThroughAgent));
}

QLineEdit* AgentSheet::InfoBox(const char* name) const {
  return m_information->findChild<QLineEdit*>(QString::fromLatin1(name));
}

void AgentSheet::SetTarget(AgentTarget target) {
  m_target = std::move(target);
  ShowState(std::nullopt);
  FollowAvailability();
}

void AgentSheet::Show(const agent::RemoteSnapshot& snapshot) {
  m_reachable = snapshot.Reachable();
  FollowAvailability();
  if (m_target.kind != AgentTarget::Kind::kDisplay) return;
  const auto found = snapshot.states.find(m_target.key);
  ShowState(found != snapshot.states.end() ? std::optional(found->second) : std::nullopt);
}

void AgentSheet::ShowState(const std::optional<agent::DisplayState>& state) {
  for (const InfoField& field : InfoFields()) {
    InfoBox(field.name)->setText(state ? field.text(*state) : QString());
  }
  m_showing = true;
  m_inputList->setCurrentIndex(state ? PositionOf(m_inputList, state->input) : -1);
  m_muteList->setCurrentIndex(state ? PositionOf(m_muteList, state->mute) : -1);
  m_showing = false;
}

void AgentSheet::FollowAvailability() {
  const bool usable = m_reachable && m_target.kind != AgentTarget::Kind::kNothing;
  for (QWidget* control :
       std::initializer_list<QWidget*>{m_powerOn, m_powerOff, m_inputList, m_inputSet, m_muteList})
    control->setEnabled(usable);
}

// The target is the one selected at the click; the answer finds the sheet whatever is
// selected by then.
void AgentSheet::SendPower(bool on) {
  ScriptRequest request;
  request.verb = ScriptRequest::Verb::kPower;
  request.on = on;
  Send(std::move(request));
}

void AgentSheet::SendInput() {
  const QString word = m_inputList->currentData().toString();
  if (word.isEmpty()) return;
  ScriptRequest request;
  request.verb = ScriptRequest::Verb::kInput;
  request.input = word.toStdString();
  Send(std::move(request));
}

void AgentSheet::SendMute() {
  const QString word = m_muteList->currentData().toString();
  if (m_showing || word.isEmpty()) return;
  ScriptRequest request;
  request.verb = ScriptRequest::Verb::kMute;
  request.on = word == QStringLiteral("on");
  Send(std::move(request));
}

void AgentSheet::Send(ScriptRequest request) {
  const std::string name = m_target.Name();
  if (name.empty() || !m_sender) return;
  request.targets = {name};
  QPointer<AgentSheet> self(this);
  m_sender(request, [self](agent::RemoteReply reply) {
    // Any thread: the box is the UI thread's, and the sheet may have gone meanwhile.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [self, reply = std::move(reply)] {
          if (self) self->ShowOutcome(reply);
        },
        Qt::QueuedConnection);
  });
}

void AgentSheet::ShowOutcome(const agent::RemoteReply& reply) {
  if (reply.Ok() || !m_presenter) return;
  m_presenter(this, FailureText(reply));
}

}  // namespace tarnex
