#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>
#include <string>

#include "agent/agent_remote.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace tarnex {

// What the operator selected in the agent's tree, as the agent names it.
struct AgentTarget {
  enum class Kind { kNothing, kDisplay, kGroup };
  Kind kind = Kind::kNothing;
  std::string key;    // a display's key
  std::string group;  // a group's name

  // "display:<address>", "set:<n>" or "group:<name>"; empty for nothing.
  std::string Name() const;
  bool operator==(const AgentTarget&) const = default;
};

// The tooltip and accessible description of everything the agent does not offer.
inline constexpr const char* kNotThroughAgent = "Not available through the agent";

// The property sheet while the window runs over a site agent: the Control page sends power,
// input and mute as the agent's requests, the Information page shows the state the agent
// published, and the pages the agent does not carry are there but off.
//
// Threads: UI thread. The sender's callback may come on any thread; the sheet takes the
// outcome to the UI thread itself.
class AgentSheet : public QWidget {
 public:
  using Sender = std::function<void(const ScriptRequest&, std::function<void(agent::RemoteReply)>)>;
  using Presenter = std::function<void(QWidget* parent, const QString& text)>;

  AgentSheet(Sender sender, Presenter presenter, QWidget* parent = nullptr);

  // The operator selected this; the pages show its state from the next Show().
  void SetTarget(AgentTarget target);
  const AgentTarget& Target() const { return m_target; }
  // The agent's state as it stands: the pages' values, and whether anything can be sent.
  void Show(const agent::RemoteSnapshot& snapshot);

  QTabWidget* Tabs() const { return m_tabs; }
  QPushButton* PowerOnButton() const { return m_powerOn; }
  QPushButton* PowerOffButton() const { return m_powerOff; }
  QComboBox* InputList() const { return m_inputList; }
  QPushButton* InputSetButton() const { return m_inputSet; }
  QComboBox* MuteList() const { return m_muteList; }
  QLineEdit* InfoBox(const char* name) const;

 private:
  QWidget* BuildControlPage();
  QWidget* BuildInformationPage();
  void AddUnavailablePage(const QString& title);
  void SendPower(bool on);
  void SendInput();
  void SendMute();
  void Send(ScriptRequest request);
  void ShowOutcome(const agent::RemoteReply& reply);
  void ShowState(const std::optional<agent::DisplayState>& state);
  void FollowAvailability();

  Sender m_sender;
  Presenter m_presenter;
  AgentTarget m_target;
  bool m_reachable = false;
  bool m_showing = false;  // the lists are set from a state, not by the operator

  QTabWidget* m_tabs = nullptr;
  QPushButton* m_powerOn = nullptr;
  QPushButton* m_powerOff = nullptr;
  QComboBox* m_inputList = nullptr;
  QPushButton* m_inputSet = nullptr;
  QComboBox* m_muteList = nullptr;
  QWidget* m_information = nullptr;
};

}  // namespace tarnex
