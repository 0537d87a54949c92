#include "agent/site_agent.h"

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "agent/state_pass.h"
#include "monitor/alarm_mail.h"
#include "monitor/alarm_spool.h"
#include "platform/trace.h"
#include "scripting/owner_server.h"
#include "scripting/schedule_log.h"
#include "scripting/schedule_runner.h"

namespace tarnex::agent {
namespace {

using nlohmann::json;

constexpr auto kOfflineWait = std::chrono::milliseconds(300);

const char* AlarmName(AlarmKind kind) {
  switch (kind) {
    case AlarmKind::kTest:
      return "test";
    case AlarmKind::kCredentialsChanged:
      return "credentials";
    case AlarmKind::kLinkFault:
      return "network";
    case AlarmKind::kFanFault:
      return "fan";
    case AlarmKind::kScheduleFailed:
      return "schedule";
  }
  return "unknown";
}

}  // namespace

// Nobody sits at the agent: what the core would show in a box goes to the trace and the
// event topic, and a changed tree only wakes the publisher.
class SiteAgent::HeadlessUi : public UiHost {
 public:
  explicit HeadlessUi(SiteAgent& agent) : m_agent(agent) {}
  void ShowMessage(std::string_view text) override {
    Trace("%.*s", static_cast<int>(text.size()), text.data());
    m_agent.PublishEvent({{"type", "message"}, {"text", text}});
  }
  bool AskYesNo(std::string_view, std::string_view) override { return false; }
  void ProgressCreate() override {}
  void ProgressSetPos(int) override {}
  void ProgressDestroy() override {}
  void TreeChanged() override {
    if (m_agent.m_publisher && !m_agent.m_quiet) m_agent.m_publisher->Wake();
  }
  void PageMustRefresh() override {}

 private:
  SiteAgent& m_agent;
};

// Every alarm is told on the event topic as it is raised, then mailed as the console mails it.
class SiteAgent::EventingMailer : public AlarmMailer {
 public:
  EventingMailer(SiteAgent& agent, AlarmQueue& queue) : m_agent(agent), m_queue(queue) {}
  void Enqueue(AlarmKind kind, const std::string& address) override {
    m_agent.PublishEvent({{"type", "alarm"}, {"alarm", AlarmName(kind)}, {"subject", address}});
    m_queue.Enqueue(kind, address);
  }

 private:
  SiteAgent& m_agent;
  AlarmQueue& m_queue;
};

SiteAgent::SiteAgent(COsprelNetworkManagerDoc& doc, AgentOptions options)
    : m_doc(doc), m_options(std::move(options)), m_topics(m_options.site) {
  m_ui = std::make_unique<HeadlessUi>(*this);
  m_core = std::make_unique<CConsoleCore>(
      doc, *m_ui, m_options.sockets != nullptr ? *m_options.sockets : PosixSockets());
  m_port = std::make_unique<CSerialPort>(*m_ui);
  m_channel = std::make_unique<CSerialPortChannel>(*m_port);
  m_core->SetSerialChannel(m_channel.get());
  m_supervisor = std::make_unique<CLinkSupervisor>(*m_core, m_pages);
  m_publisher =
      std::make_unique<StatePublisher>(*m_core, m_book,
                                       StatePublisher::Options{.site = m_options.site,
                                                               .haDiscovery = m_options.haDiscovery,
                                                               .minGap = m_options.minStateGap});
  m_intake = std::make_unique<CommandIntake>(*m_core, m_book, m_options.site,
                                             [this] { m_publisher->Wake(); });
}

SiteAgent::~SiteAgent() {
  Stop();
}

bool SiteAgent::Start(std::string* error) {
  if (!IsSiteName(m_options.site)) {
    if (error) *error = "the site name must be 1 to 32 of A-Z, a-z, 0-9, _ and -";
    return false;
  }
  mqtt::ClientOptions broker = m_options.broker;
  broker.willTopic = m_topics.Agent();
  broker.willPayload = "offline";
  broker.willQos = 1;
  broker.willRetain = true;
  m_client = mqtt::Client::Create(
      broker,
      {.connected = [this] { m_publisher->Reconnected(); },
       .disconnected = [](int reason) { Trace("MQTT: the broker went (%d)", reason); },
       .message = [this](mqtt::Message message) { m_intake->OnMessage(std::move(message)); }},
      error);
  if (!m_client) return false;
  m_publisher->SetClient(m_client.get(), [this] { Subscribe(); });
  m_intake->SetClient(m_client.get());
  m_core->SetHistoryWriter([this](const std::vector<HistoryLine>& lines) {
    CHistoryReport::Write(lines);
    PublishHistory(lines);
  });
  StartMail();
  if (m_doc.m_docCommunicationSelect == kSerialMode) {
    m_port->OpenSerialPort(SerialLineSettings{m_doc.m_docPortStr, m_doc.m_docBaudrate,
                                              m_doc.m_docData, m_doc.m_docStop, m_doc.m_docParity});
  }
  m_core->Jobs().Post(JobKeys::Everything(), [this] { m_core->BuildTree(); });
  StartSchedules();
  if (!ServeOwnerSocket(error)) return false;
  m_publisher->Start();
  m_intake->Start();
  if (!m_client->Start(error)) return false;
  m_started = true;
  m_ticker = std::thread([this] { Tick(); });
  return true;
}

void SiteAgent::Stop() {
  {
    std::lock_guard lock(m_tickMutex);
    if (m_stopping) return;
    m_stopping = true;
  }
  m_tickWake.notify_all();
  if (m_client && m_client->Connected()) {
    // A goodbye keeps the will from being sent, so the agent says it is going itself.
    m_client->Publish({.topic = m_topics.Agent(),
                       .payload = "offline",
                       .qos = 1,
                       .retain = true,
                       .responseTopic = std::nullopt,
                       .correlation = std::nullopt,
                       .expirySeconds = std::nullopt});
    const auto until = std::chrono::steady_clock::now() + kOfflineWait;
    while (m_client->InFlight() > 0 && std::chrono::steady_clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  m_core->Stop();
  m_mailStop = true;
  if (m_ticker.joinable()) m_ticker.join();
  m_intake->Stop();
  if (m_owner) m_owner->Stop();
  if (m_schedules) m_schedules->Stop();
  m_supervisor->Wait();
  m_core->Jobs().Stop();
  m_publisher->Stop();
  if (m_client) m_client->Stop();
  m_core->FlushHistory();
  if (m_alarms) {
    const std::vector<QueuedAlarm> left = m_alarms->Stop();
    if (!WriteAlarmSpool(m_doc.m_docConfigFolder + kAlarmSpoolFile, left))
      Trace("%zu alarm mails could not be kept for the next start", left.size());
  }
  m_quiet = true;
}

void SiteAgent::Tick() {
  auto nextSupervision = std::chrono::steady_clock::now() + m_options.supervision;
  auto nextPass = std::chrono::steady_clock::now() +
                  (m_options.passAtStart ? std::chrono::milliseconds(0) : m_options.poll);
  std::unique_lock lock(m_tickMutex);
  while (!m_stopping) {
    m_tickWake.wait_until(lock, std::min(nextSupervision, nextPass), [this] { return m_stopping; });
    if (m_stopping) return;
    const auto now = std::chrono::steady_clock::now();
    lock.unlock();
    if (now >= nextSupervision) {
      m_supervisor->OnTick();
      nextSupervision = now + m_options.supervision;
    }
    if (now >= nextPass) {
      RunPass();
      nextPass = std::chrono::steady_clock::now() + m_options.poll;
    }
    lock.lock();
  }
}

void SiteAgent::RunPass() {
  FleetView fleet;
  {
    auto state = m_core->Lock();
    fleet = FleetOf(*m_core, state);
  }
  const bool full = m_passes++ % kFullPassEvery == 0;
  RunStatePass(*m_core, fleet, full, m_book, std::time(nullptr));
  m_publisher->Wake();
}

void SiteAgent::Subscribe() {
  // Retained sets and commands must be told apart from live ones: they would replay.
  if (!m_client->Subscribe(m_topics.SetFilter(), 1, true) ||
      !m_client->Subscribe(m_topics.Command(), 1, true))
    Trace("MQTT: subscribing to the site's set and command topics failed");
}

void SiteAgent::PublishHistory(const std::vector<HistoryLine>& lines) {
  for (const HistoryLine& line : lines) {
    std::string text = line.text;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    PublishEvent({{"type", "history"}, {"text", text}});
  }
}

// Events are QoS 0 and never kept: the history report is the record, the bus only tells who
// listens. Nothing goes out once Stop() is over.
void SiteAgent::PublishEvent(const json& event) {
  if (!m_client || m_quiet) return;
  m_client->Publish({.topic = m_topics.Event(),
                     .payload = event.dump(-1, ' ', false, json::error_handler_t::replace),
                     .qos = 0,
                     .retain = false,
                     .responseTopic = std::nullopt,
                     .correlation = std::nullopt,
                     .expirySeconds = std::nullopt});
}

void SiteAgent::StartMail() {
  m_alarms = std::make_unique<AlarmQueue>([this](AlarmKind kind, const std::string& address) {
    SmtpOptions options;
    options.stop = &m_mailStop;
    if (const char* caFile = std::getenv("TARNEX_SMTP_CAFILE")) options.caFile = caFile;
    return SendAlarmMail(*m_core, *m_ui, options, kind, address, {});
  });
  FollowAlarmMails(*m_alarms, *m_core, [](bool failing) {
    Trace(failing ? "alarm mails are failing" : "alarm mails go again");
  });
  m_mailer = std::make_unique<EventingMailer>(*this, *m_alarms);
  {
    auto state = m_core->Lock();
    state->Doc().ReadAlarmSettings();
  }
  m_core->SetAlarmMailer(m_mailer.get());
  m_alarms->Restore(TakeAlarmSpool(m_doc.m_docConfigFolder + kAlarmSpoolFile));
}

void SiteAgent::StartSchedules() {
  ScheduleKeeper::Options options;
  options.statePath = m_doc.m_docConfigFolder + kScheduleStateFile;
  options.logPath = m_doc.m_docConfigFolder + kScheduleLogFile;
  options.tellMissed = [this](const std::string& text) { m_ui->ShowMessage(text); };
  m_schedules = std::make_unique<ScheduleKeeper>(*m_core, std::move(options));
  m_schedules->Start();
  m_intake->SetSchedules({.keeper = m_schedules.get(),
                          .clock = {},
                          .persist = [this] { return m_doc.WriteNetworkSchedules(); },
                          .logPath = m_doc.m_docConfigFolder + kScheduleLogFile,
                          .runDueAtStart = false});
}

bool SiteAgent::ServeOwnerSocket(std::string* error) {
  if (m_options.ownerSocket.empty()) return true;
  auto server = std::make_unique<OwnerServer>(*m_core);
  server->SetSchedules({.keeper = m_schedules.get(),
                        .clock = {},
                        .persist = [this] { return m_doc.WriteNetworkSchedules(); },
                        .logPath = m_doc.m_docConfigFolder + kScheduleLogFile,
                        .runDueAtStart = false});
  // tarnexctl's power, input and mute show on the bus at once, as the bus's own do.
  server->SetRanHook([this](const ScriptRequest& request, const ScriptReport& report) {
    m_intake->Learn(request, report.results);
    m_publisher->Wake();
  });
  if (!server->Start(m_options.ownerSocket, error)) return false;
  m_owner = std::move(server);
  return true;
}

}  // namespace tarnex::agent
