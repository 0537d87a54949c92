#pragma once

#include <QDialog>
#include <array>
#include <functional>

#include "app/agent_settings.h"
#include "console/console_core.h"
#include "links/serial_line_settings.h"
#include "links/serial_port.h"

class QComboBox;
class QLineEdit;
class QGroupBox;
class QPushButton;
class QRadioButton;

namespace tarnex {

class AgentSettingsBox;

// The "Setting" dialog: network or serial link, and the serial line's settings. A confirmed
// change is written to disk and ends the application, so the chosen link is used from the
// next start; nothing else about the running console changes.
//
// UI thread. The document is read and changed under the console lock, and written to disk from
// a copy after the lock is let go; the serial port is opened without it, and its open does not
// wait for an exchange in progress, so the window never waits for a display.
class CSettingDlg : public QDialog {
 public:
  struct Hooks {
    // The main window's mode line: "Network Communication" or "Serial Communication".
    std::function<void(const QString&)> modeLabel;
    // Called once the dialog has closed after a confirmed change: the main window should
    // close (queued, so that the dialog's caller unwinds first).
    std::function<void()> closeRequest;
  };

  // The third choice: the window runs over a site agent, whose settings are kept in their own
  // file (written only by a confirmed choice).
  struct AgentChoice {
    bool running = false;  // the window runs over the agent now: its tree is not the console's
    std::string file;      // empty: Agent.ini in the configuration folder
    std::function<void(const QString&)> tell;  // a refused choice's reason; empty: a box
  };

  // Opening writes the current mode's configuration file, so the tree as it stands is on disk
  // before any change; not while the window runs over the agent, whose tree that is not.
  CSettingDlg(CConsoleCore& core, CSerialPort& port, Hooks hooks, QWidget* parent = nullptr);
  CSettingDlg(CConsoleCore& core, CSerialPort& port, Hooks hooks, AgentChoice agent,
              QWidget* parent = nullptr);

  QRadioButton* NetworkRadio() const { return m_network; }
  QRadioButton* SerialRadio() const { return m_serial; }
  QRadioButton* AgentRadio() const { return m_agent; }
  AgentSettingsBox* AgentBox() const { return m_agentBox; }
  QComboBox* PortList() const { return m_lists[kPort]; }
  QComboBox* BaudrateList() const { return m_lists[kBaudrate]; }
  QComboBox* DataList() const { return m_lists[kData]; }
  QComboBox* ParityList() const { return m_lists[kParity]; }
  QComboBox* StopList() const { return m_lists[kStop]; }
  QComboBox* FlowControlList() const { return m_lists[kFlowControl]; }
  QPushButton* OkButton() const { return m_ok; }
  QPushButton* CancelButton() const { return m_cancel; }

  void OnOK();
  // Cancel, and the window's close button.
  void reject() override;
  void done(int result) override;

 protected:
  // Enter and Escape do nothing: the dialog closes only through OK or Cancel.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  enum List { kPort, kBaudrate, kData, kParity, kStop, kFlowControl, kListCount };

  void BuildLayout();
  void FillLists();
  void ShowMode(int mode);
  int ChosenMode() const;
  SerialListPositions ChosenPositions() const;
  void ConfirmSerial();
  void ConfirmNetwork();
  // False, with the reason told, when the agent's settings cannot be used or kept.
  bool ConfirmAgent();
  bool KeepAgentChoice(bool enabled);
  void Tell(const QString& text);

  CConsoleCore& m_core;
  CSerialPort& m_port;
  Hooks m_hooks;
  AgentChoice m_agentChoice;
  AgentSettings m_agentStored;
  int m_openingMode = 0;
  bool m_confirmed = false;

  QGroupBox* m_modeFrame = nullptr;
  QRadioButton* m_network = nullptr;
  QRadioButton* m_serial = nullptr;
  QRadioButton* m_agent = nullptr;
  AgentSettingsBox* m_agentBox = nullptr;
  QGroupBox* m_serialFrame = nullptr;
  std::array<QComboBox*, kListCount> m_lists{};
  QPushButton* m_ok = nullptr;
  QPushButton* m_cancel = nullptr;
};

}  // namespace tarnex
