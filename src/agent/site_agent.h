#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include <nlohmann/json.hpp>

#include "agent/command_intake.h"
#include "agent/fleet_state.h"
#include "agent/mqtt_client.h"
#include "agent/state_publisher.h"
#include "config/network_manager_doc.h"
#include "console/console_core.h"
#include "console/link_supervisor.h"
#include "console/serial_port_channel.h"
#include "monitor/alarm_queue.h"

namespace tarnex {
class OwnerServer;
class ScheduleKeeper;
}  // namespace tarnex

namespace tarnex::agent {

struct AgentOptions {
  std::string site;
  mqtt::ClientOptions broker;
  std::chrono::milliseconds poll{std::chrono::seconds(30)};
  bool haDiscovery = false;
  // The console's own periods; tests shorten them.
  std::chrono::milliseconds supervision{std::chrono::seconds(10)};
  std::chrono::milliseconds minStateGap{1000};
  // The first pass runs as soon as the start-up connects are over; tests run theirs.
  bool passAtStart = true;
  // The owner socket tarnexctl reaches the agent on; empty serves none.
  std::string ownerSocket;
  SocketApi* sockets = nullptr;
};

// The console without its window, for one configuration folder: it connects the stored
// displays, supervises them, reads every display each poll period (power each pass; input
// and mute while on; fan and lamp every tenth pass), writes the history, mails the alarms,
// runs the schedules and serves tarnexctl, and shows all of it on an MQTT broker, which may
// come and go without any of that stopping. The caller holds the folder's owner lock.
class SiteAgent {
 public:
  static constexpr int kFullPassEvery = 10;

  SiteAgent(COsprelNetworkManagerDoc& doc, AgentOptions options);
  ~SiteAgent();
  SiteAgent(const SiteAgent&) = delete;
  SiteAgent& operator=(const SiteAgent&) = delete;

  bool Start(std::string* error);
  // Says "offline", then ends everything within about a second.
  void Stop();

  CConsoleCore& Core() { return *m_core; }
  StateBook& Book() { return m_book; }
  StatePublisher& Publisher() { return *m_publisher; }
  CommandIntake& Intake() { return *m_intake; }
  // Connected, with the site's set and command topics subscribed.
  bool Listening() const { return m_client && m_client->Subscriptions() >= 2; }
  // One state pass now, on the calling thread; what the timer runs.
  void RunPass();

 private:
  class HeadlessUi;
  class EventingMailer;

  void Tick();
  void Subscribe();
  void PublishHistory(const std::vector<HistoryLine>& lines);
  void PublishEvent(const nlohmann::json& event);
  void StartMail();
  void StartSchedules();
  bool ServeOwnerSocket(std::string* error);

  COsprelNetworkManagerDoc& m_doc;
  AgentOptions m_options;
  SiteTopics m_topics;
  std::unique_ptr<HeadlessUi> m_ui;
  // Before the core and the workers, so that it outlives whatever might still publish; the
  // library's thread, which calls into the workers, is stopped by Stop().
  std::unique_ptr<mqtt::Client> m_client;
  // Set at the end of Stop(): whatever the core reports while it is torn down goes nowhere.
  std::atomic<bool> m_quiet{false};
  std::unique_ptr<AlarmQueue> m_alarms;
  std::unique_ptr<EventingMailer> m_mailer;
  std::atomic<bool> m_mailStop{false};
  std::unique_ptr<CConsoleCore> m_core;
  std::unique_ptr<CSerialPort> m_port;
  std::unique_ptr<CSerialPortChannel> m_channel;
  PageHost m_pages;
  std::unique_ptr<CLinkSupervisor> m_supervisor;
  StateBook m_book;
  std::unique_ptr<StatePublisher> m_publisher;
  std::unique_ptr<CommandIntake> m_intake;
  std::unique_ptr<ScheduleKeeper> m_schedules;
  std::unique_ptr<OwnerServer> m_owner;
  std::mutex m_tickMutex;
  std::condition_variable m_tickWake;
  bool m_stopping = false;
  bool m_started = false;
  int m_passes = 0;
  std::thread m_ticker;
};

}  // namespace tarnex::agent
