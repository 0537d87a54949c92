#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>

#include "agent/agent_remote.h"
#include "app/agent_settings.h"
#include "app/agent_tree_model.h"
#include "pages/agent_sheet.h"

class QLineEdit;
class QTreeView;

namespace tarnex {

// The window over a site agent: the agent's tree in the window's tree view, its sheet in
// place of the console's, and the mode line saying whether the agent is there. Nothing in it
// opens a display link: every command is a request to the agent.
//
// Threads: UI thread. The remote's news comes on the MQTT library's thread and is taken to
// the UI thread here; a burst of it is shown once.
class AgentMode : public QObject {
 public:
  using Presenter = AgentSheet::Presenter;

  // `settings` as read at the start; the tree, the sheet and the mode line are the window's.
  AgentMode(AgentSettingsRead settings, Presenter presenter, QTreeView* tree, QLineEdit* modeLine,
            QWidget* sheetParent);
  ~AgentMode() override;

  // The session begins; settings that cannot be used are told, and the agent stays
  // unreachable.
  void Start();

  AgentTreeModel& Model() { return m_model; }
  AgentSheet& Sheet() { return *m_sheet; }
  agent::AgentRemote* Remote() { return m_remote.get(); }
  const AgentSettings& Settings() const { return m_settings.settings; }

 private:
  std::unique_ptr<agent::AgentRemote> MakeRemote(QString* problem);
  void Send(const ScriptRequest& request, std::function<void(agent::RemoteReply)> done);
  void QueueRefresh();
  void Refresh();
  void OnCurrentChanged(const QModelIndex& current);

  AgentSettingsRead m_settings;
  Presenter m_presenter;
  QTreeView* m_tree;
  QLineEdit* m_modeLine;
  AgentTreeModel m_model;
  AgentSheet* m_sheet;  // a child of the sheet's frame
  std::atomic<bool> m_refreshQueued{false};
  std::unique_ptr<agent::AgentRemote> m_remote;
};

}  // namespace tarnex
