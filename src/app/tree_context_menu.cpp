#include "app/tree_context_menu.h"

#include <QDialog>
#include <QPoint>
#include <QPointer>
#include <algorithm>
#include <string>
#include <vector>

#include "app/group_dialogs.h"
#include "app/legacy_text.h"
#include "app/pjlink_dialogs.h"
#include "app/settings_backup_dlg.h"
#include "console/console_core.h"
#include "console/group_editor.h"
#include "console/pjlink_links.h"
#include "registry/tree_labels.h"

namespace tarnex {
namespace {

constexpr std::array<const char*, TreeContextMenu::kCommandCount> kTexts = {
    "Make Group",         "Add to Group",          "Delete Projector",
    "Delete Group",       "Change Name",           "Load Configuration",
    "Save Configuration", "Add PJLink Display...", "PJLink Password..."};

using Command = TreeContextMenu::Command;

// The active mode's group names, 0..G-1, as stored.
std::vector<std::string> GroupNames(const COsprelNetworkManagerDoc& doc) {
  const bool network = doc.m_docCommunicationSelect == kNetworkMode;
  const int count = network ? doc.m_docGroupNumCount : doc.m_docSerialGroupNumCount;
  const size_t shown = std::min(static_cast<size_t>(std::max(count, 0)), doc.m_docGroupName.size());
  return {doc.m_docGroupName.begin(), doc.m_docGroupName.begin() + static_cast<long>(shown)};
}

// The bytes for a typed group name. A name that reads as an existing group's gives that
// group's very bytes, so a duplicate is found whichever code page the file was written in;
// a new name follows the file's other names.
std::string EncodeGroupName(const QString& typed, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    if (DecodeText(name) == typed) return name;
  }
  return EncodeText(typed, names.empty() ? std::string_view{} : std::string_view(names.front()));
}

}  // namespace

TreeContextMenu::TreeContextMenu(CConsoleCore& core, MessagePresenter present, QWidget* parent)
    : m_core(core), m_present(std::move(present)), m_parent(parent), m_menu(parent) {
  m_menu.setAccessibleName(QStringLiteral("Device tree menu"));
  for (size_t i = 0; i < m_actions.size(); ++i) {
    m_actions[i] = m_menu.addAction(QString::fromLatin1(kTexts[i]));
  }
}

void TreeContextMenu::Exec(const QPoint& globalPos) {
  Refresh();
  QAction* chosen = m_menuDriver ? m_menuDriver(m_menu, globalPos) : m_menu.exec(globalPos);
  if (chosen != nullptr) Run(chosen);
}

void TreeContextMenu::ExecUnavailable(const QPoint& globalPos, const QString& why) {
  m_menu.setToolTipsVisible(true);
  for (QAction* action : m_actions) {
    action->setEnabled(false);
    action->setToolTip(why);
    action->setStatusTip(why);
  }
  if (m_menuDriver) {
    m_menuDriver(m_menu, globalPos);
  } else {
    m_menu.exec(globalPos);
  }
}

namespace {

bool MemberPresent(const CConsoleCore::State& state, TreeItem member) {
  const std::string& label = state->Tree().Model().Label(member);
  const COsprelNetworkManagerDoc& doc = state->Doc();
  if (doc.m_docCommunicationSelect != kNetworkMode) return SerialSetNumber(label).has_value();
  const std::string_view key = DisplayKey(label);
  const int count = std::clamp(doc.m_docSocketNumber, 0, kMaxDisplays);
  for (int row = 0; row < count; ++row) {
    if (doc.m_docDisplays[static_cast<size_t>(row)].m_address == key) return true;
  }
  return false;
}

}  // namespace

void TreeContextMenu::Refresh() {
  std::array<bool, kCommandCount> enabled{};
  {
    auto state = m_core.Lock();
    const DeviceTree& tree = state->Tree();
    const TreeItem selected = tree.ViewState().m_hSelectedItem;
    const TreeRole role = tree.RoleOf(selected);
    const bool network = state->Doc().m_docCommunicationSelect == kNetworkMode;
    const bool single = role == TreeRole::kSingle;
    const bool member = role == TreeRole::kMember;
    // A listing that stands for no display (an address no entry holds, a label without a set
    // number) can leave its group, but there is no display to save or restore.
    const bool presentMember = member && MemberPresent(state, selected);
    const bool group = role == TreeRole::kGroup;
    // "PJTR 0" sits directly under "Single"; only the set IDs of a range can join a group.
    const bool setInRange = role == TreeRole::kSerialSet && tree.IsRootGrandchild(selected);
    const bool singleChild =
        role != TreeRole::kNone && tree.Model().Parent(selected) == tree.SingleRoot();
    const DisplayId display = state->Selected().display();
    const bool pjlinkDisplay = display != kNoDisplay && state->KindOf(display) == LinkKind::kPjlink;
    const bool groupsExist =
        (network ? state->Doc().m_docGroupNumCount : state->Doc().m_docSerialGroupNumCount) > 0;
    const auto set = [&enabled](Command command, bool on) {
      enabled[static_cast<size_t>(command)] = on;
    };
    set(Command::kMakeGroup, !network || role == TreeRole::kNone || role == TreeRole::kRoot);
    set(Command::kAddToGroup, network ? single && groupsExist : setInRange);
    set(Command::kDeleteProjector, singleChild || member);
    set(Command::kDeleteGroup, group);
    set(Command::kChangeName, network && single);
    set(Command::kLoadConfiguration, (network ? single : setInRange) || group || presentMember);
    set(Command::kSaveConfiguration, (network ? single : setInRange) || presentMember);
    set(Command::kAddPjlinkDisplay, network);
    set(Command::kPjlinkPassword, network && pjlinkDisplay && (single || member));
  }
  for (size_t i = 0; i < m_actions.size(); ++i) m_actions[i]->setEnabled(enabled[i]);
}

void TreeContextMenu::Run(QAction* action) {
  const auto found = std::find(m_actions.begin(), m_actions.end(), action);
  if (found == m_actions.end() || !action->isEnabled()) return;
  switch (static_cast<Command>(found - m_actions.begin())) {
    case Command::kMakeGroup:
      MakeGroup();
      break;
    case Command::kAddToGroup:
      AddToGroup();
      break;
    case Command::kDeleteProjector:
      Show(CGroupEditor(m_core).DeleteProjector());
      break;
    case Command::kDeleteGroup:
      Show(CGroupEditor(m_core).DeleteGroup());
      break;
    case Command::kChangeName:
      ChangeName();
      break;
    case Command::kLoadConfiguration:
      if (m_backup != nullptr) m_backup->LoadConfiguration();
      break;
    case Command::kSaveConfiguration:
      if (m_backup != nullptr) m_backup->SaveConfiguration();
      break;
    case Command::kAddPjlinkDisplay:
      AddPjlink();
      break;
    case Command::kPjlinkPassword:
      ChangePjlinkPassword();
      break;
  }
}

bool TreeContextMenu::RunDialog(QDialog& dialog) {
  if (m_driver) {
    m_driver(dialog);
    return dialog.result() == QDialog::Accepted;
  }
  return dialog.exec() == QDialog::Accepted;
}

void TreeContextMenu::Show(const std::string& message) {
  if (!message.empty() && m_present) m_present(m_parent, DecodeText(message));
}

void TreeContextMenu::MakeGroup() {
  const auto judge = [this](const QString& typed) -> CMakeGroupDlg::Verdict {
    std::vector<std::string> names;
    {
      auto state = m_core.Lock();
      names = GroupNames(state->Doc());
    }
    const std::string name = EncodeGroupName(typed, names);
    const std::string message = CGroupEditor(m_core).MakeGroup(name);
    // A duplicate or an unstorable name can be typed again; an empty name or a full table
    // ends the dialog, as another try cannot help.
    const bool retry = !name.empty() && message == name + " has been Already decided";
    const bool close = !retry && CGroupEditor::NameProblem(name).empty();
    return {DecodeText(message), close};
  };
  CMakeGroupDlg dialog(judge, m_present, m_parent);
  RunDialog(dialog);
}

void TreeContextMenu::AddToGroup() {
  QStringList shown;
  {
    auto state = m_core.Lock();
    for (const std::string& name : GroupNames(state->Doc())) shown.append(DecodeText(name));
  }
  CGroupSelectionDlg dialog(shown, m_parent);
  if (!RunDialog(dialog) || !dialog.Selected()) return;
  {
    auto state = m_core.Lock();
    state->Doc().m_docSelectedGroup = dialog.Position();
  }
  Show(CGroupEditor(m_core).AddToGroup(dialog.Position()));
}

void TreeContextMenu::ChangeName() {
  CChangeName dialog(m_parent);
  RunDialog(dialog);
  const QString pending = dialog.Pending();
  std::string bytes;
  if (pending == QLatin1String(CChangeName::kRemoveName)) {
    bytes = CChangeName::kRemoveName;
  } else if (!pending.isEmpty()) {
    // Follows the code page of the label it replaces.
    auto state = m_core.Lock();
    bytes =
        EncodeText(pending, state->Tree().Model().Label(state->Tree().ViewState().m_hSelectedItem));
  }
  Show(CGroupEditor(m_core).ChangeName(bytes));
}

}  // namespace tarnex

namespace tarnex {
namespace {

// What a job tells the operator, once it ends, on the UI thread. The menu is gone by then, so
// the job carries this rather than the menu.
std::function<void(const QString&)> Teller(CConsoleCore& core, MessagePresenter present,
                                           QWidget* parent) {
  return [&core, present = std::move(present),
          parent = QPointer<QWidget>(parent)](const QString& text) {
    if (text.isEmpty() || !present) return;
    core.Ui().RunOnUi([present, parent, text] { present(parent.data(), text); });
  };
}

// The job of a display listed already waits for what runs on it; that of a new one for
// searches, which append to the table too.
JobKeys AddKeys(const CConsoleCore::State& state, const std::string& address) {
  const COsprelNetworkManagerDoc& doc = state->Doc();
  const int count = std::clamp(doc.m_docSocketNumber, 0, kMaxDisplays);
  for (int row = 0; row < count; ++row) {
    if (doc.m_docDisplays[static_cast<size_t>(row)].m_address != address) continue;
    JobKeys keys = JobKeys::Display(state->IdAt(row));
    keys.search = true;
    return keys;
  }
  return JobKeys::Search();
}

QString PasswordText(const CConsoleCore::State& state, DisplayId id, bool set) {
  const int row = state->RowOf(id);
  if (!set || row < 0) return QStringLiteral("The display is no longer listed");
  const DisplayFacts* facts = state->FactsOf(id);
  const QString address = QString::fromStdString(state->AddressOf(id));
  if (facts != nullptr && facts->pjlink.authFailed) {
    return QStringLiteral("%1: Password rejected").arg(address);
  }
  if (state->Doc().m_docConnectState[static_cast<size_t>(row)] != 1) {
    return QStringLiteral("%1: password set, but the display is not reachable").arg(address);
  }
  return QStringLiteral("%1: password accepted").arg(address);
}

}  // namespace

void TreeContextMenu::AddPjlink() {
  CAddPjlinkDlg dialog(m_present, m_parent);
  if (!RunDialog(dialog)) return;
  JobKeys keys = AddKeys(m_core.Lock(), dialog.Address());
  CConsoleCore& core = m_core;
  core.Jobs().Post(std::move(keys), [&core, tell = Teller(m_core, m_present, m_parent),
                                     address = dialog.Address(), password = dialog.Password()] {
    tell(PjlinkAddText(AddPjlinkDisplay(core, address, password), address));
  });
}

// The display is the one selected when the entry was chosen, whatever is selected when the
// job runs.
void TreeContextMenu::ChangePjlinkPassword() {
  const DisplayId id = m_core.Lock()->Selected().display();
  if (id == kNoDisplay) return;
  CPjlinkPasswordDlg dialog(m_present, m_parent);
  if (!RunDialog(dialog)) return;
  CConsoleCore& core = m_core;
  core.Jobs().Post(JobKeys::Display(id), [&core, id, tell = Teller(m_core, m_present, m_parent),
                                          password = dialog.Password()] {
    const bool set = SetPjlinkPassword(core, id, password);
    tell(PasswordText(core.Lock(), id, set));
  });
}

}  // namespace tarnex
