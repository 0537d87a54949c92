#include "app/agent_mode.h"

#include <QLineEdit>
#include <QTreeView>

#include "platform/trace.h"

namespace tarnex {

AgentMode::AgentMode(AgentSettingsRead settings, Presenter presenter, QTreeView* tree,
                     QLineEdit* modeLine, QWidget* sheetParent)
    : m_settings(std::move(settings)),
      m_presenter(std::move(presenter)),
      m_tree(tree),
      m_modeLine(modeLine),
      m_model(this),
      m_sheet(new AgentSheet(
          [this](const ScriptRequest& request, std::function<void(agent::RemoteReply)> done) {
            Send(request, std::move(done));
          },
          m_presenter, sheetParent)) {
  m_tree->setModel(&m_model);
  connect(m_tree->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current, const QModelIndex&) { OnCurrentChanged(current); });
  Refresh();
}

// The remote goes first: no news comes after it, and every request waiting is answered.
AgentMode::~AgentMode() {
  if (m_remote) m_remote->Stop();
}

void AgentMode::Start() {
  QString problem = QString::fromStdString(m_settings.error);
  if (problem.isEmpty()) m_remote = MakeRemote(&problem);
  if (!problem.isEmpty()) {
    Trace("agent: %s", problem.toStdString().c_str());
    if (m_presenter) m_presenter(m_tree->window(), problem);
  }
  Refresh();
}

std::unique_ptr<agent::AgentRemote> AgentMode::MakeRemote(QString* problem) {
  const AgentSettings& settings = m_settings.settings;
  const std::optional<BrokerAddress> broker = ParseBroker(settings.broker);
  agent::RemoteOptions options;
  options.host = broker ? broker->host : std::string();
  options.port = broker ? broker->port : 0;
  options.site = settings.site;
  options.caFile = settings.caFile;
  options.user = settings.user;
  if (!settings.passwordFile.empty()) {
    const PasswordRead read = ReadPasswordFile(settings.passwordFile);
    if (!read.password) {
      *problem = QString::fromStdString(read.error);
      return nullptr;
    }
    options.password = *read.password;
  }
  auto remote =
      std::make_unique<agent::AgentRemote>(std::move(options), [this] { QueueRefresh(); });
  std::string error;
  if (!remote->Start(&error)) {
    *problem = QStringLiteral("The agent cannot be reached: %1").arg(QString::fromStdString(error));
    return nullptr;
  }
  return remote;
}

void AgentMode::Send(const ScriptRequest& request, std::function<void(agent::RemoteReply)> done) {
  if (m_remote) {
    m_remote->Send(request, std::move(done));
    return;
  }
  agent::RemoteReply reply;
  reply.message = agent::kAgentUnreachable;
  done(std::move(reply));
}

// The MQTT library's thread: one refresh waits on the UI thread at most.
void AgentMode::QueueRefresh() {
  if (m_refreshQueued.exchange(true)) return;
  QMetaObject::invokeMethod(
      this, [this] { Refresh(); }, Qt::QueuedConnection);
}

void AgentMode::Refresh() {
  m_refreshQueued = false;
  const agent::RemoteSnapshot snapshot = m_remote ? m_remote->Snapshot() : agent::RemoteSnapshot{};
  const AgentTarget selected = m_sheet->Target();
  if (m_model.Show(snapshot)) {
    // The items were made again: the same display or group stays selected, if it is still there.
    const QModelIndex again = m_model.IndexOf(selected);
    if (again.isValid()) {
      m_tree->selectionModel()->setCurrentIndex(again, QItemSelectionModel::ClearAndSelect);
    } else {
      m_sheet->SetTarget({});
    }
    m_tree->expandAll();
  }
  m_sheet->Show(snapshot);
  m_modeLine->setText(snapshot.Reachable()
                          ? QStringLiteral("Agent: %1").arg(QString::fromStdString(Settings().site))
                          : QString::fromLatin1(agent::kAgentUnreachable));
}

void AgentMode::OnCurrentChanged(const QModelIndex& current) {
  m_sheet->SetTarget(AgentTreeModel::TargetOf(current));
  if (m_remote) m_sheet->Show(m_remote->Snapshot());
}

}  // namespace tarnex
