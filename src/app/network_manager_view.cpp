#include "app/network_manager_view.h"

#include <cstdlib>

#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>
#include <QVBoxLayout>

#include "app/agent_mode.h"
#include "app/device_tree_view_model.h"
#include "app/legacy_text.h"
#include "app/tree_context_menu.h"
#include "app/tree_icon_painter.h"
#include "monitor/alarm_mail.h"
#include "monitor/alarm_spool.h"
#include "monitor/smtp/smtp_sender.h"
#include "platform/trace.h"
#include "platform/ui_thread.h"
#include "registry/tree_labels.h"
#include "scripting/owner_server.h"
#include "scripting/schedule_log.h"
#include "scripting/schedule_runner.h"

namespace tarnex {
namespace {

constexpr int kTreeWidth = 230;
// The tab widget's frame on both sides of its bar.
constexpr int kTabBarSlack = 12;

SocketApi& SocketsOf(const ViewSettings& settings) {
  return settings.sockets != nullptr ? *settings.sockets : PosixSockets();
}

MessagePresenter PresenterOf(const ViewSettings& settings) {
  return settings.presenter ? settings.presenter : ModalMessagePresenter();
}

}  // namespace

COsprelNetworkManagerView::COsprelNetworkManagerView(COsprelNetworkManagerDoc& doc,
                                                     ViewSettings settings, QWidget* parent)
    : QWidget(parent),
      m_treeMenuDriver(std::move(settings.treeMenuDriver)),
      m_ui(PresenterOf(settings)),
      m_alarms(
          [this](AlarmKind kind, const std::string& address) { return SendAlarm(kind, address); }),
      m_core(doc, m_ui, SocketsOf(settings)),
      m_pages(new CMyPropertySheet(m_core, this)),
      m_supervisor(m_core, *m_pages),
      m_selection(m_core, *m_pages),
      m_backup(
          m_core, [this](QWidget* owner, const QString& text) { m_ui.Present(owner, text); }, this),
      m_scheduleClock(settings.scheduleClock),
      m_schedulePeriod(settings.schedulePeriod),
      m_supervisionPeriod(settings.supervisionPeriod) {
  // Every wait for a display runs on the console's workers; a debug build stops the UI
  // thread from making one.
  MarkUiThread();
  m_core.SetSerialChannel(&m_serialChannel);
  m_core.SetAlarmMailer(&m_alarms);
  FollowAlarmMails();
  BuildLayout();
  ConnectTree();
  if (settings.agent) EnterAgentMode(std::move(*settings.agent));
  m_ui.SetMessageParent(this);
  SetProgressHandlers({}, {}, {});
  connect(&m_timer1, &QTimer::timeout, this, &COsprelNetworkManagerView::OnTimer1);
}

// The supervision worker is stopped before anything it reports to goes away, and the tree
// view lets go of the selection handling before the handler does.
COsprelNetworkManagerView::~COsprelNetworkManagerView() {
  m_agent.reset();
  StopMail();
  m_core.Stop();
  StopScripts();
  StopSupervision();
  m_core.Jobs().Stop();
  disconnect(m_selectionConnection);
  if (OnMarkedUiThread()) UnmarkUiThread();
}

void COsprelNetworkManagerView::SetProgressHandlers(std::function<void()> create,
                                                    std::function<void(int)> setPos,
                                                    std::function<void()> destroy) {
  m_ui.SetHandlers({.treeChanged = [this] { SyncTree(); },
                    .pageMustRefresh = [this] { m_pages->RefreshActivePage(); },
                    .progressCreate = std::move(create),
                    .progressSetPos = std::move(setPos),
                    .progressDestroy = std::move(destroy)});
}

void COsprelNetworkManagerView::BuildLayout() {
  m_modeEdit = new QLineEdit(this);
  m_modeEdit->setReadOnly(true);
  m_modeEdit->setAlignment(Qt::AlignCenter);
  m_modeEdit->setFocusPolicy(Qt::NoFocus);

  m_model = new DeviceTreeViewModel(m_core, this);
  m_treeView = new QTreeView(this);
  m_treeView->setModel(m_model);
  m_treeView->setHeaderHidden(true);
  m_treeView->setEditTriggers(QAbstractItemView::NoEditTriggers);
  m_treeView->setSelectionMode(QAbstractItemView::SingleSelection);
  // A display dragged onto a group joins it; a group held under the cursor for a second opens,
  // the view scrolls at its edges, and Escape cancels, as Qt's drag does.
  m_treeView->setDragEnabled(true);
  m_treeView->setAcceptDrops(true);
  m_treeView->setDropIndicatorShown(true);
  m_treeView->setDragDropMode(QAbstractItemView::DragDrop);
  m_treeView->setDefaultDropAction(Qt::CopyAction);
  m_treeView->setAutoExpandDelay(1000);
  m_treeView->setAutoScroll(true);
  // The right button, the context-menu key and Shift+F10 open the group editing commands.
  // The keys are caught here: under X11 they reach the tree as plain key presses, which Qt
  // turns into no context-menu request.
  m_treeView->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(m_treeView, &QWidget::customContextMenuRequested, this,
          &COsprelNetworkManagerView::OnTreeContextMenu);
  m_treeView->installEventFilter(this);
  m_model->SetDropHandler(
      [this](TreeItem display, TreeItem group) { OnDropOnGroup(display, group); });

  m_sheetFrame = new QFrame(this);
  m_sheetFrame->setFrameShape(QFrame::StyledPanel);
  auto* sheetLayout = new QVBoxLayout(m_sheetFrame);
  sheetLayout->setContentsMargins(0, 0, 0, 0);
  sheetLayout->addWidget(m_pages);
  m_pages->SetTreeWidget(m_treeView);
  m_pages->SetRowIcons([icons = std::make_shared<TreeIconSet>()](TreeIcon icon) {
    return QIcon(icons->Pixmap(icon));
  });

  auto* left = new QVBoxLayout;
  left->addWidget(m_modeEdit);
  left->addWidget(m_treeView, 1);
  auto* layout = new QHBoxLayout(this);
  layout->addLayout(left);
  layout->addWidget(m_sheetFrame, 1);
  m_modeEdit->setFixedWidth(kTreeWidth);
  m_treeView->setFixedWidth(kTreeWidth);
  // The titles are measured in the platform's font, which may be wider than the one the
  // window's drawn size was made for: the sheet is never too narrow to show them whole.
  QTabWidget* tabs = m_pages->Tabs();
  tabs->setMinimumWidth(tabs->tabBar()->sizeHint().width() + kTabBarSlack);
}

void COsprelNetworkManagerView::ConnectTree() {
  m_selectionConnection = connect(
      m_treeView->selectionModel(), &QItemSelectionModel::currentChanged, this,
      [this](const QModelIndex& current, const QModelIndex&) { OnCurrentItemChanged(current); });
}

// The console's tree, its selection handling, its pages and its tree menu stay idle: the tree
// view shows the agent's tree, and the sheet's frame the agent's pages.
void COsprelNetworkManagerView::EnterAgentMode(AgentSettingsRead settings) {
  disconnect(m_selectionConnection);
  m_treeView->setDragEnabled(false);
  m_treeView->setAcceptDrops(false);
  m_treeView->setDragDropMode(QAbstractItemView::NoDragDrop);
  m_pages->hide();
  m_agent = std::make_unique<AgentMode>(
      std::move(settings),
      [this](QWidget* parent, const QString& text) { m_ui.Present(parent, text); }, m_treeView,
      m_modeEdit, m_sheetFrame);
  m_sheetFrame->layout()->addWidget(&m_agent->Sheet());
}

bool COsprelNetworkManagerView::ServeScripts(const std::string& socketPath, std::string* error) {
  if (m_agent) {
    if (error) *error = "the window runs over the agent, which owns the displays";
    return false;
  }
  auto server = std::make_unique<OwnerServer>(m_core);
  server->SetSchedules({.keeper = m_schedules.get(),
                        .clock = m_scheduleClock,
                        .persist = {},
                        .logPath = {},
                        .runDueAtStart = false});
  if (!server->Start(socketPath, error)) return false;
  m_scripts = std::move(server);
  return true;
}

void COsprelNetworkManagerView::StopScripts() {
  if (m_scripts) m_scripts->Stop();
  if (m_schedules) m_schedules->Stop();
}

void COsprelNetworkManagerView::StartSchedules() {
  ScheduleKeeper::Options options;
  options.clock = m_scheduleClock;
  options.period = m_schedulePeriod;
  const std::string folder = m_core.Lock()->Doc().m_docConfigFolder;
  options.statePath = folder + kScheduleStateFile;
  options.logPath = folder + kScheduleLogFile;
  options.tellMissed = [this](const std::string& text) { m_ui.ShowMessage(text); };
  m_schedules = std::make_unique<ScheduleKeeper>(m_core, std::move(options));
  m_schedules->Start();
}

void COsprelNetworkManagerView::OnInitialUpdate() {
  // Over the agent the window reaches no display: no tree built from the stored displays, no
  // serial line, no supervision, no alarm mails and no schedules of its own.
  if (m_agent) {
    m_agent->Start();
    return;
  }
  ShowMode();
  OpenSerialLine();
  // The window shows at once; the stored displays appear as their connects end, within the
  // connect time-out however many there are.
  m_core.Jobs().Post(JobKeys::Everything(), [this] { m_core.BuildTree(); });
  SyncTree();
  TellBadAlarmAddresses();
  // The alarms an earlier close left unsent go now, with the tries they have left.
  m_alarms.Restore(TakeAlarmSpool(SpoolPath()));
  m_timer1.start(m_supervisionPeriod);
  StartSchedules();
}

// A hand-edited address that is not one mailbox stays in the file as it was, so the close
// writes back what it read, but no alarm goes to it; the operator hears of it once the window
// shows.
void COsprelNetworkManagerView::TellBadAlarmAddresses() {
  std::vector<std::string> problems;
  {
    auto state = m_core.Lock();
    COsprelNetworkManagerDoc& doc = state->Doc();
    doc.ReadAlarmSettings();
    problems = {AddressProblem("TO", doc.m_docAlarmTo), AddressProblem("FROM", doc.m_docAlarmFrom)};
  }
  for (const std::string& problem : problems) {
    if (problem.empty()) continue;
    QMetaObject::invokeMethod(
        this, [this, problem] { m_ui.ShowMessage(problem); }, Qt::QueuedConnection);
  }
}

void COsprelNetworkManagerView::ShowMode() {
  int mode;
  {
    auto state = m_core.Lock();
    mode = state->Doc().m_docCommunicationSelect;
  }
  if (mode == kNetworkMode) m_modeEdit->setText(QStringLiteral("Network Communication"));
  if (mode == kSerialMode) m_modeEdit->setText(QStringLiteral("Serial Communication"));
}

// In serial mode the displays are reached through the port of the stored line settings; a
// port that cannot be opened is reported by the port, and every exchange then stays silent.
// The report is a box that waits for the operator, so the port is opened after the console
// lock is let go.
void COsprelNetworkManagerView::OpenSerialLine() {
  SerialLineSettings settings;
  {
    auto state = m_core.Lock();
    const COsprelNetworkManagerDoc& doc = state->Doc();
    if (doc.m_docCommunicationSelect != kSerialMode) return;
    settings = {doc.m_docPortStr, doc.m_docBaudrate, doc.m_docData, doc.m_docStop, doc.m_docParity};
  }
  m_serialPort.OpenSerialPort(settings);
}

void COsprelNetworkManagerView::FollowAlarmMails() {
  tarnex::FollowAlarmMails(m_alarms, m_core, [this](bool failing) {
    // Mail worker: the status bar is the window's.
    m_ui.RunOnUi([this, failing] {
      if (m_mailFailing) m_mailFailing(failing);
    });
  });
}

std::string COsprelNetworkManagerView::SpoolPath() {
  auto state = m_core.Lock();
  return state->Doc().m_docConfigFolder + kAlarmSpoolFile;
}

void COsprelNetworkManagerView::StopMail() {
  if (m_mailStopped) return;
  m_mailStopped = true;
  m_mailStop = true;
  const std::vector<QueuedAlarm> left = m_alarms.Stop();
  if (!WriteAlarmSpool(SpoolPath(), left)) {
    Trace("%zu alarm mails could not be kept for the next start", left.size());
  }
}

void COsprelNetworkManagerView::StopSupervision() {
  m_timer1.stop();
  m_supervisor.Wait();
}

// UI thread. Rows inserted or removed by the sync move Qt's current index; that is not the
// operator's choice and must not connect a display.
void COsprelNetworkManagerView::SyncTree() {
  if (m_agent) return;  // the tree view shows the agent's tree
  m_syncing = true;
  m_model->Sync();
  for (const auto& [index, expanded] : m_model->TakeExpansionChanges()) {
    m_treeView->setExpanded(index, expanded);
  }
  FollowCoreSelection();
  m_syncing = false;
}

// When the selected item went, Qt makes a neighbour current while the console has nothing
// selected; a later click on that neighbour would then not count as a selection.
void COsprelNetworkManagerView::FollowCoreSelection() {
  TreeItem selected;
  {
    auto state = m_core.Lock();
    selected = state->Tree().ViewState().m_hSelectedItem;
  }
  QItemSelectionModel* selection = m_treeView->selectionModel();
  if (DeviceTreeViewModel::HandleOf(selection->currentIndex()) == selected) return;
  const QModelIndex index = m_model->IndexOf(selected);
  if (index.isValid()) {
    selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
  } else {
    selection->clear();
  }
}

void COsprelNetworkManagerView::OnCurrentItemChanged(const QModelIndex& current) {
  if (m_syncing) return;
  m_selection.OnSelectionChanged(DeviceTreeViewModel::HandleOf(current));
}

// UI thread; the pass itself runs on the supervisor's worker thread.
void COsprelNetworkManagerView::OnTimer1() {
  m_supervisor.OnTick();
}

// UI thread. The menu acts on the selection the tree handling recorded.
void COsprelNetworkManagerView::OnTreeContextMenu(const QPoint& position) {
  TreeContextMenu menu(
      m_core, [this](QWidget* parent, const QString& text) { m_ui.Present(parent, text); },
      window());
  menu.SetMenuDriver(m_treeMenuDriver);
  const QPoint at = m_treeView->viewport()->mapToGlobal(position);
  if (m_agent) {
    // Group editing, backup and restore are not the agent's.
    menu.ExecUnavailable(at, QString::fromLatin1(kNotThroughAgent));
    return;
  }
  menu.SetSettingsBackup(&m_backup);
  menu.Exec(at);
}

bool COsprelNetworkManagerView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_treeView && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Menu ||
        (key->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier)) {
      OnTreeMenuKey();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

// From the keyboard the menu opens on the selected item, where the operator is looking, as Qt
// places a keyboard context menu over an item view's current item; with nothing selected, at
// the tree's top corner.
void COsprelNetworkManagerView::OnTreeMenuKey() {
  const QModelIndex current = m_treeView->currentIndex();
  if (!current.isValid()) {
    OnTreeContextMenu(QPoint(0, 0));
    return;
  }
  m_treeView->scrollTo(current);
  OnTreeContextMenu(m_treeView->visualRect(current).center());
}

// UI thread. The new member is shown and selected at once, as the operator dropped it.
void COsprelNetworkManagerView::OnDropOnGroup(TreeItem display, TreeItem group) {
  std::string message;
  const TreeItem added = m_groupEditor.AddByDrop(display, group, &message);
  if (!message.empty()) m_ui.ShowMessage(message);
  if (added == kNoItem) return;
  SyncTree();
  m_treeView->setCurrentIndex(m_model->IndexOf(added));
}

void COsprelNetworkManagerView::OnConnect() {
  if (m_agent) return;
  m_selection.OnConnectCommand();
}

// Status re-reads what is selected: the group status for a group, the page on top otherwise.
void COsprelNetworkManagerView::OnStatus() {
  if (m_agent) return;
  int groupMembers = -1;
  {
    auto state = m_core.Lock();
    const DeviceTree& tree = state->Tree();
    const TreeItem selected = tree.ViewState().m_hSelectedItem;
    if (tree.RoleOf(selected) == TreeRole::kGroup) {
      groupMembers = tree.Model().ChildCount(selected);
    }
  }
  if (groupMembers >= 0) {
    m_pages->RefreshGroupStatus(groupMembers);
  } else {
    m_pages->RefreshActivePage();
  }
}

// Mail worker.
AlarmMailResult COsprelNetworkManagerView::SendAlarm(AlarmKind kind, const std::string& address) {
  SmtpOptions options;
  options.stop = &m_mailStop;
  if (const char* caFile = std::getenv("TARNEX_SMTP_CAFILE")) options.caFile = caFile;
  return SendAlarmMail(m_core, m_ui, options, kind, address, [](const std::string& subject) {
    return DecodeText(subject).toStdString();
  });
}

}  // namespace tarnex
