#include "monitor/group_status.h"

#include <array>
#include <charconv>
#include <functional>
#include <memory>
#include <optional>

#include "monitor/display_kind.h"
#include "monitor/progress_popup.h"
#include "monitor/status_decoders.h"
#include "platform/trace.h"
#include "protocol/command_catalogue.h"
#include "registry/tree_labels.h"

namespace tarnex {
namespace {

namespace query = protocol::query;

// The member reads in their order; the lamp times last.
constexpr std::array<std::string_view, 8> kReads = {
    query::kPower,         query::kInputSelect,  query::kSignal,        query::kFanState,
    query::kLampTime1High, query::kLampTime1Low, query::kLampTime2High, query::kLampTime2Low};
enum Read : size_t { kPower, kInput, kSignal, kFan, kLamp1High, kLamp1Low, kLamp2High, kLamp2Low };

// One member's reads, with its own kind: members read side by side must not share one.
class StatusSequence : public MemberSequence {
 public:
  struct Options {
    bool ask = true;                 // the member's link is up
    bool askKind = false;            // read only a display of kind 2
    bool stopOnSilentPower = false;  // serial: a silent set ID is read no further
  };
  // `ended` is told, on the reading thread, when the member has been asked all it will be.
  StatusSequence(Options options, std::function<void()> ended)
      : m_options(options), m_ended(std::move(ended)) {}

  std::optional<MemberQuery> Start() override {
    if (!m_options.ask) return End();
    if (m_options.askKind) return MemberQuery{std::string(query::kDisplayKind), true};
    return ReadAt(0);
  }

  std::optional<MemberQuery> Next(std::optional<std::string> reply) override {
    if (m_next == kNoRead) {
      if (DisplayKindOf(reply) != kKindWithStatus) return End();
      return ReadAt(0);
    }
    m_replies[m_next] = std::move(reply);
    if (m_next == kPower && m_options.stopOnSilentPower && !m_replies[kPower]) {
      m_powerSilent = true;
      return End();
    }
    if (m_next + 1 >= kReads.size()) return End();
    return ReadAt(m_next + 1);
  }

  bool PowerSilent() const { return m_powerSilent; }
  // The cells of what was read; the lamp times only once their turn came.
  void Fill(GroupStatusRow& row) const {
    row.power = MatchText(m_replies[kPower], status::kGroupPower).value_or("");
    row.input = MatchText(m_replies[kInput], status::kInput).value_or("");
    row.signal = DecodeSignal(m_replies[kSignal]).value_or("");
    row.fan = DecodeGroupFan(m_replies[kFan]).value_or("");
    if (m_asked > kLamp1High)
      row.lampTime1 = LampHoursText(m_replies[kLamp1High], m_replies[kLamp1Low]);
    if (m_asked > kLamp2High)
      row.lampTime2 = LampHoursText(m_replies[kLamp2High], m_replies[kLamp2Low]);
  }

 private:
  static constexpr size_t kNoRead = kReads.size();

  std::optional<MemberQuery> End() {
    if (m_ended) m_ended();
    return std::nullopt;
  }
  std::optional<MemberQuery> ReadAt(size_t read) {
    m_next = read;
    m_asked = read + 1;
    return MemberQuery{std::string(kReads[read]), false};
  }

  Options m_options;
  std::function<void()> m_ended;
  size_t m_next = kNoRead;
  size_t m_asked = 0;
  std::array<std::optional<std::string>, kReads.size()> m_replies{};
  bool m_powerSilent = false;
};

struct MemberSnapshot {
  std::string key;
  std::string name;
  int serialNumber = -1;
  bool ask = true;
  bool down = false;  // network: its link was down when the read began
  // A PJLink display has no kind to ask: what PJLink knows of the reads is read, the rest is
  // not sent.
  bool pjlink = false;
};

// The display's label in the tree, as the operator named it: the "Single" item of its row.
std::string DisplayLabel(const CConsoleCore::State& state, int row, const std::string& address) {
  const DeviceTree& tree = state->Tree();
  const TreeItem item = tree.Model().Child(tree.SingleRoot(), row);
  if (item != kNoItem && DisplayKey(tree.Model().Label(item)) == address) {
    return tree.Model().Label(item);
  }
  return state->Doc().m_docDisplays[static_cast<size_t>(row)].m_label;
}

std::vector<MemberSnapshot> NetworkMembers(CConsoleCore& core, const CommandTarget& target) {
  std::vector<MemberSnapshot> members;
  auto state = core.Lock();
  for (DisplayId id : target.members) {
    const int row = state->RowOf(id);
    const std::string address = state->DisplayAddress(row);
    const bool up = row >= 0 && state->Doc().m_docConnectState[static_cast<size_t>(row)] == 1;
    members.push_back({address, row < 0 ? "" : MemberName(DisplayLabel(state, row, address)), -1,
                       true, !up, state->KindOf(id) == LinkKind::kPjlink});
  }
  return members;
}

std::vector<MemberSnapshot> SerialMembers(CConsoleCore& core, const CommandTarget& target) {
  std::vector<MemberSnapshot> members;
  auto state = core.Lock();
  for (const std::string& setId : target.setIds) {
    int number = -1;
    std::from_chars(setId.data(), setId.data() + setId.size(), number, 16);
    const bool open = number >= 0 && number < kSerialSetIds &&
                      state->Doc().m_docSerialConnectState[static_cast<size_t>(number)] == 1;
    members.push_back({std::to_string(number), SerialSetLabel(number), number, open, false, false});
  }
  return members;
}

// The set ID did not answer: it is shown not connected, here and in the group's members.
void MarkSerialSilent(CConsoleCore& core, TreeItem group, int number) {
  auto state = core.Lock();
  if (number < 0 || number >= kSerialSetIds) return;
  state->Doc().m_docSerialConnectState[static_cast<size_t>(number)] = 0;
  const TreeModel& model = state->Tree().Model();
  if (group == kNoItem) return;
  for (TreeItem member : model.Children(group)) {
    if (SerialSetNumber(model.Label(member)) == number) {
      state->Tree().SetImages(member, TreeImages::Both(TreeIcon::kDisconnected));
    }
  }
}

GroupStatusRow RowOf(const MemberSnapshot& member, const SequenceOutcome& outcome,
                     const StatusSequence& sequence, bool serial) {
  GroupStatusRow row;
  row.key = member.key;
  // A display given up in the middle of its reads is shown as the tree shows it, off-line,
  // and not with the half of its state read before.
  const bool online = serial ? member.ask && !sequence.PowerSilent()
                             : outcome.up && !outcome.skipped && !outcome.givenUp;
  row.online = online;
  row.status = serial ? (online ? "Open" : "Close") : (online ? "On-Line" : "Off-Line");
  if (!online) return row;
  row.name = member.name.empty() ? "- - - -" : member.name;
  sequence.Fill(row);
  return row;
}

// The row of a member whose reads have ended: it was up and asked to the end.
GroupStatusRow EndedRow(const MemberSnapshot& member, const StatusSequence& sequence, bool serial) {
  SequenceOutcome ended;
  ended.up = true;
  return RowOf(member, ended, sequence, serial);
}

// What the list shows before anything is asked: a member known down as its read will end, any
// other as not read yet.
std::vector<GroupStatusRow> FirstRows(const std::vector<MemberSnapshot>& members, bool serial) {
  std::vector<GroupStatusRow> rows;
  const StatusSequence unasked(StatusSequence::Options{}, {});
  for (const MemberSnapshot& member : members) {
    if (member.down || !member.ask) {
      rows.push_back(RowOf(member, SequenceOutcome{}, unasked, serial));
      continue;
    }
    GroupStatusRow row;
    row.pending = true;
    row.key = member.key;
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace

GroupStatusRead ReadGroupStatus(CConsoleCore& core, const CommandTarget& target, int memberCount,
                                GroupReadMode mode, const SendOptions& options,
                                GroupRowSink* sink) {
  const bool rebuild = mode == GroupReadMode::kRebuild;
  std::optional<ProgressPopup> popup;
  if (rebuild) popup.emplace(core.Ui());
  const bool serial = target.route == CommandTarget::Route::kSerial && target.serialGroup;
  const bool network = target.route == CommandTarget::Route::kNetworkGroup;
  GroupStatusRead read;
  if (memberCount <= 0 || (!serial && !network)) {
    if (popup) popup->SetPos(100);
    return read;
  }
  const std::vector<MemberSnapshot> members =
      serial ? SerialMembers(core, target) : NetworkMembers(core, target);
  if (sink) sink->Begin(FirstRows(members, serial));
  std::vector<std::unique_ptr<StatusSequence>> sequences;
  std::vector<MemberSequence*> running;
  for (size_t i = 0; i < members.size(); ++i) {
    std::function<void()> ended;
    if (sink) ended = [&, i] { sink->Read(i, EndedRow(members[i], *sequences[i], serial)); };
    sequences.push_back(std::make_unique<StatusSequence>(
        StatusSequence::Options{.ask = members[i].ask,
                                .askKind = rebuild && network && !members[i].pjlink,
                                .stopOnSilentPower = serial},
        std::move(ended)));
    running.push_back(sequences.back().get());
  }
  const size_t count = static_cast<size_t>(memberCount);
  const std::vector<SequenceOutcome> outcomes =
      core.Transaction().RunSequences(target, running, options, [&](size_t done) {
        if (popup) popup->SetPos(GroupProgress(done, count));
      });
  for (size_t i = 0; i < outcomes.size(); ++i) {
    read.cancelled = read.cancelled || outcomes[i].cancelled;
    GroupStatusRow row = RowOf(members[i], outcomes[i], *sequences[i], serial);
    if (serial && members[i].ask && sequences[i]->PowerSilent() && !outcomes[i].cancelled) {
      MarkSerialSilent(core, target.item, members[i].serialNumber);
      Trace("Send Fail");
    } else if (!row.online) {
      Trace("Not Connection");
    } else if (rebuild) {
      Trace("%s", row.lampTime1.c_str());
    }
    read.rows.push_back(std::move(row));
  }
  if (popup) popup->SetPos(100);
  return read;
}

}  // namespace tarnex
