#include "app/setting_dlg.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <span>
#include <string_view>

#include "app/agent_settings_box.h"
#include "app/communication_change.h"
#include "app/dialog_keys.h"
#include "app/document_snapshot.h"
#include "app/information_dlg.h"
#include "app/setting_dlg_lists.h"
#include "platform/config_folder.h"

namespace tarnex {
namespace {

// Not a mode of the document's: the choice of the site agent, kept in its own file.
constexpr int kAgentChoice = 3;

QString ModeText(int mode) {
  if (mode == kNetworkMode) return QStringLiteral("Network Communication");
  if (mode == kSerialMode) return QStringLiteral("Serial Communication");
  if (mode == kAgentChoice) return QStringLiteral("Agent Communication");
  return {};
}

void Fill(QComboBox* list, std::span<const std::string_view> entries, int position) {
  for (const std::string_view entry : entries) {
    list->addItem(QString::fromLatin1(entry.data(), static_cast<qsizetype>(entry.size())));
  }
  // A stored position outside the list shows nothing chosen, and OK then stores the fallback.
  list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
}

}  // namespace

CSettingDlg::CSettingDlg(CConsoleCore& core, CSerialPort& port, Hooks hooks, QWidget* parent)
    : CSettingDlg(core, port, std::move(hooks), AgentChoice{}, parent) {}

CSettingDlg::CSettingDlg(CConsoleCore& core, CSerialPort& port, Hooks hooks, AgentChoice agent,
                         QWidget* parent)
    : QDialog(parent),
      m_core(core),
      m_port(port),
      m_hooks(std::move(hooks)),
      m_agentChoice(std::move(agent)) {
  setWindowTitle(QStringLiteral("Setting"));
  if (m_agentChoice.file.empty()) m_agentChoice.file = ConfigFolder() + kAgentFile;
  BuildLayout();
  FillLists();
  m_agentStored = ReadAgentSettings(m_agentChoice.file).settings;
  m_agentBox->Show(m_agentStored);
  {
    DocumentSnapshot snapshot(m_core);
    COsprelNetworkManagerDoc& doc = snapshot.Doc();
    m_openingMode = m_agentChoice.running ? kAgentChoice : doc.m_docCommunicationSelect;
    // A mode that is neither (a hand-edited file) loaded no tables; writing them would wipe
    // the file, so nothing is written then.
    if (m_openingMode == kNetworkMode) doc.WriteNetworkConfig();
    if (m_openingMode == kSerialMode) doc.WriteSerialConfig();
  }
  m_network->setChecked(m_openingMode == kNetworkMode);
  m_serial->setChecked(m_openingMode == kSerialMode);
  m_agent->setChecked(m_openingMode == kAgentChoice);
  ShowMode(m_openingMode);
  connect(m_network, &QRadioButton::clicked, this, [this] { ShowMode(kNetworkMode); });
  connect(m_serial, &QRadioButton::clicked, this, [this] { ShowMode(kSerialMode); });
  connect(m_agent, &QRadioButton::clicked, this, [this] { ShowMode(kAgentChoice); });
  connect(m_ok, &QPushButton::clicked, this, &CSettingDlg::OnOK);
  connect(m_cancel, &QPushButton::clicked, this, &CSettingDlg::reject);
}

void CSettingDlg::BuildLayout() {
  m_modeFrame = new QGroupBox(QStringLiteral("Communication Select"), this);
  m_network = new QRadioButton(QStringLiteral("Network"), m_modeFrame);
  m_serial = new QRadioButton(QStringLiteral("Serial"), m_modeFrame);
  m_agent = new QRadioButton(QStringLiteral("&Agent"), m_modeFrame);
  m_agent->setAccessibleName(QStringLiteral("Agent"));
  m_agent->setAccessibleDescription(
      QStringLiteral("The displays are reached through a site agent over MQTT"));
  auto* modes = new QHBoxLayout(m_modeFrame);
  modes->addWidget(m_network);
  modes->addWidget(m_serial);
  modes->addWidget(m_agent);

  m_serialFrame = new QGroupBox(QStringLiteral("Serial Setting"), this);
  auto* lists = new QFormLayout(m_serialFrame);
  static constexpr std::array<const char*, kListCount> kLabels = {
      "Port", "Baudrate", "Data", "Parity", "Stop", "Flow Control"};
  for (size_t i = 0; i < m_lists.size(); ++i) {
    m_lists[i] = new QComboBox(m_serialFrame);
    lists->addRow(QString::fromLatin1(kLabels[i]), m_lists[i]);
  }

  m_ok = new QPushButton(QStringLiteral("OK"), this);
  m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
  NoDefaultButtons({m_ok, m_cancel});
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(m_ok);
  buttons->addWidget(m_cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_modeFrame);
  layout->addWidget(m_serialFrame);
  m_agentBox = new AgentSettingsBox(this);
  layout->addWidget(m_agentBox);
  layout->addLayout(buttons);
}

void CSettingDlg::FillLists() {
  SerialListPositions stored;
  {
    auto state = m_core.Lock();
    const COsprelNetworkManagerDoc& doc = state->Doc();
    stored = {doc.m_docPortInt, doc.m_docBaudrateInt, doc.m_docDataInt, doc.m_docParityInt,
              doc.m_docStopInt};
  }
  Fill(m_lists[kPort], setting_lists::kPort, stored.port);
  Fill(m_lists[kBaudrate], setting_lists::kBaudrate, stored.baudrate);
  Fill(m_lists[kData], setting_lists::kData, stored.data);
  Fill(m_lists[kParity], setting_lists::kParity, stored.parity);
  Fill(m_lists[kStop], setting_lists::kStop, stored.stop);
  Fill(m_lists[kFlowControl], setting_lists::kFlowControl, 0);
}

void CSettingDlg::ShowMode(int mode) {
  for (QComboBox* list : m_lists) list->setEnabled(mode == kSerialMode);
  m_agentBox->setEnabled(mode == kAgentChoice);
  const QString text = ModeText(mode);
  if (!text.isEmpty() && m_hooks.modeLabel) m_hooks.modeLabel(text);
}

int CSettingDlg::ChosenMode() const {
  if (m_network->isChecked()) return kNetworkMode;
  if (m_serial->isChecked()) return kSerialMode;
  if (m_agent->isChecked()) return kAgentChoice;
  return 0;
}

SerialListPositions CSettingDlg::ChosenPositions() const {
  return {m_lists[kPort]->currentIndex(), m_lists[kBaudrate]->currentIndex(),
          m_lists[kData]->currentIndex(), m_lists[kParity]->currentIndex(),
          m_lists[kStop]->currentIndex()};
}

void CSettingDlg::OnOK() {
  const int chosen = ChosenMode();
  if (chosen == 0) {
    reject();
    return;
  }
  if (chosen == kAgentChoice) {
    const QString problem = m_agentBox->Problem();
    if (!problem.isEmpty()) {
      Tell(problem);
      return;
    }
  }
  if (!CInformationDlg::Ask(this)) {
    // Nothing changes: the choice falls back to the mode in use.
    m_network->setChecked(m_openingMode == kNetworkMode);
    m_serial->setChecked(m_openingMode == kSerialMode);
    m_agent->setChecked(m_openingMode == kAgentChoice);
    ShowMode(m_openingMode);
    QDialog::reject();
    return;
  }
  if (chosen == kAgentChoice) {
    if (!ConfirmAgent()) return;
  } else {
    // Leaving the agent: its file says so, or the next start would run over it again.
    if (m_agentStored.enabled && !KeepAgentChoice(false)) return;
    if (chosen == kSerialMode) {
      ConfirmSerial();
    } else {
      ConfirmNetwork();
    }
  }
  m_confirmed = true;
  accept();
}

// The console's own files stay as they are; only the agent's file changes, and the window
// closes so that the next start runs over the agent.
bool CSettingDlg::ConfirmAgent() {
  if (!KeepAgentChoice(true)) return false;
  auto state = m_core.Lock();
  state->Doc().m_docNoSave = 1;
  return true;
}

bool CSettingDlg::KeepAgentChoice(bool enabled) {
  AgentSettings settings = enabled ? m_agentBox->Settings(true) : m_agentStored;
  settings.enabled = enabled;
  if (WriteAgentSettings(m_agentChoice.file, settings)) {
    m_agentStored = settings;
    return true;
  }
  Tell(QStringLiteral("The agent settings could not be saved to %1.")
           .arg(QString::fromStdString(m_agentChoice.file)));
  return false;
}

void CSettingDlg::Tell(const QString& text) {
  if (m_agentChoice.tell) {
    m_agentChoice.tell(text);
  } else {
    QMessageBox::warning(this, windowTitle(), text);
  }
}

void CSettingDlg::ConfirmSerial() {
  const SerialListPositions positions = ChosenPositions();
  const SerialLineSettings settings = SettingsFromPositions(positions);
  {
    auto state = m_core.Lock();
    COsprelNetworkManagerDoc& doc = state->Doc();
    doc.m_docCommunicationSelect = kSerialMode;
    doc.m_docNoSave = 1;
    doc.m_docCommunicationTrue = 1;
    doc.m_docPortStr = settings.portName;
    doc.m_docBaudrate = settings.baudrate;
    doc.m_docData = settings.dataBits;
    doc.m_docStop = settings.stopCode;
    doc.m_docParity = settings.parityCode;
    doc.m_docPortInt = positions.port;
    doc.m_docBaudrateInt = positions.baudrate;
    doc.m_docDataInt = positions.data;
    doc.m_docStopInt = positions.stop;
    doc.m_docParityInt = positions.parity;
  }
  // Without the console lock: a port that cannot open tells the operator in a box.
  m_port.OpenSerialPort(settings);
  WriteCommunicationChange(DocumentSnapshot(m_core).Doc());
}

void CSettingDlg::ConfirmNetwork() {
  {
    auto state = m_core.Lock();
    COsprelNetworkManagerDoc& doc = state->Doc();
    doc.m_docCommunicationSelect = kNetworkMode;
    doc.m_docNoSave = 1;
    doc.m_docCommunicationTrue = 1;
  }
  WriteCommunicationChange(DocumentSnapshot(m_core).Doc());
}

// The port is closed only when no mode is chosen at all: in either mode it is the console's
// line (or about to be), and Cancel must leave the console as it was.
void CSettingDlg::reject() {
  ShowMode(m_openingMode);
  if (ChosenMode() == 0) m_port.ClosePort();
  QDialog::reject();
}

void CSettingDlg::done(int result) {
  QDialog::done(result);
  // Over the agent the document is never saved (its tree is not the console's), so only a
  // confirmed choice closes the window.
  bool closing = m_confirmed;
  if (!m_agentChoice.running) {
    auto state = m_core.Lock();
    closing = state->Doc().m_docNoSave == 1;
  }
  if (closing && m_hooks.closeRequest) m_hooks.closeRequest();
}

void CSettingDlg::keyPressEvent(QKeyEvent* event) {
  if (!SwallowEnterAndEscape(event)) QDialog::keyPressEvent(event);
}

}  // namespace tarnex
