#include "console/pjlink_links.h"

#include <algorithm>

#include "console/command_target.h"
#include "console/command_transaction.h"
#include "console/link_record.h"
#include "protocol/command_catalogue.h"
#include "protocol/pjlink_codec.h"
#include "registry/tree_labels.h"

namespace tarnex {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::string_view kFanAbnormalReply = "t 01 OK00x";

// "POWR 1" → on, "POWR 0" → off; none for anything else.
std::optional<bool> PowerSet(std::string_view asked) {
  if (asked == "POWR 1") return true;
  if (asked == "POWR 0") return false;
  return std::nullopt;
}

std::string_view PowerOperation(bool on) {
  return on ? "Power On" : "Power Off";
}

void RecordAuthFailedLocked(const CConsoleCore::State& state, DisplayId id, DisplayFacts& facts) {
  const int row = state->RowOf(id);
  if (row < 0) return;
  if (!facts.pjlink.authFailed) state->AppendHistoryFor(id, "Password rejected");
  facts.pjlink.authFailed = true;
  state->Link().CloseLink(row);
  state->MarkDisconnectedAt(row);
  state->Doc().m_docConnectState[static_cast<size_t>(row)] = 0;
}

void RecordWarningLocked(const CConsoleCore::State& state, DisplayId id, DisplayFacts& facts) {
  facts.pjlink.warning = true;
  facts.pjlink.errorStatusDue = true;
  const std::string address = state->AddressOf(id);
  DeviceTree& tree = state->Tree();
  const TreeItem item = tree.FindSingleByKey(address);
  if (item != kNoItem) tree.SetIcon(item, TreeIcon::kWarning);
  tree.PropagateIcons();
}

class ClassQuery : public MemberSequence {
 public:
  std::optional<MemberQuery> Start() override {
    return MemberQuery{.command = pjlink::Frame("CLSS", "?"), .once = false, .power = false};
  }
  std::optional<MemberQuery> Next(std::optional<std::string> reply) override {
    if (reply) linkClass = pjlink::ClassOf(*reply).value_or(0);
    return std::nullopt;
  }
  int linkClass = 0;
};

// The PJLink displays among `ids` whose link is up, and that are not refused.
std::vector<DisplayId> UpPjlinkDisplays(CConsoleCore& core, const std::vector<DisplayId>& ids) {
  std::vector<DisplayId> up;
  auto state = core.Lock();
  for (DisplayId id : ids) {
    const int row = state->RowOf(id);
    if (row < 0 || state->KindOf(id) != LinkKind::kPjlink ||
        state->Doc().m_docConnectState[static_cast<size_t>(row)] != 1) {
      continue;
    }
    up.push_back(id);
  }
  return up;
}

}  // namespace

void NoteLinkAnswerLocked(const CConsoleCore::State& state, DisplayId id, LinkAnswer answer,
                          std::string_view asked) {
  DisplayFacts* facts = state->FactsOf(id);
  if (facts == nullptr) return;
  const std::optional<bool> power = PowerSet(asked);
  switch (answer) {
    case LinkAnswer::kAuthFailed:
      return RecordAuthFailedLocked(state, id, *facts);
    case LinkAnswer::kUndefined:
      facts->pjlink.undefined.insert(std::string(asked.substr(0, 4)));
      break;
    case LinkAnswer::kOutOfRange:
      state->AppendHistoryFor(id, "Setting refused: " + std::string(asked));
      break;
    case LinkAnswer::kBusy:
      // A newer power command replaces the one waiting; the same one keeps its first time.
      if (power && facts->pjlink.desiredPower != power) {
        facts->pjlink.desiredPower = power;
        facts->pjlink.desiredSince = Clock::now();
      }
      return;
    case LinkAnswer::kFailure:
      RecordWarningLocked(state, id, *facts);
      break;
    case LinkAnswer::kAnswered:
    case LinkAnswer::kNotSent:
    case LinkAnswer::kNone:
      break;
  }
  if (power) facts->pjlink.desiredPower.reset();
}

void GreetPjlinkDisplays(CConsoleCore& core, const std::vector<DisplayId>& ids) {
  const std::vector<DisplayId> greeted = UpPjlinkDisplays(core, ids);
  if (greeted.empty() || core.Stopping()) return;
  std::vector<ClassQuery> queries(greeted.size());
  std::vector<MemberSequence*> sequences;
  for (ClassQuery& query : queries) sequences.push_back(&query);
  CommandTarget target;
  target.route = CommandTarget::Route::kNetworkGroup;
  target.members = greeted;
  core.Transaction().RunSequences(target, sequences);
  auto state = core.Lock();
  for (size_t i = 0; i < greeted.size(); ++i) {
    DisplayFacts* facts = state->FactsOf(greeted[i]);
    if (facts != nullptr && queries[i].linkClass != 0)
      facts->pjlink.linkClass = queries[i].linkClass;
  }
}

namespace {

struct DueWork {
  DisplayId id = kNoDisplay;
  std::optional<bool> power;  // to send again
  bool expired = false;       // sent long enough: given up with one history line
  bool errorStatus = false;
};

std::vector<DueWork> CollectDue(CConsoleCore& core) {
  std::vector<DueWork> due;
  auto state = core.Lock();
  const COsprelNetworkManagerDoc& doc = state->Doc();
  const int count = std::clamp(doc.m_docSocketNumber, 0, kMaxDisplays);
  const Clock::time_point now = Clock::now();
  for (int row = 0; row < count; ++row) {
    const DisplayId id = state->IdAt(row);
    DisplayFacts* facts = state->FactsOf(id);
    if (facts == nullptr || doc.m_docConnectState[static_cast<size_t>(row)] != 1) continue;
    PjlinkFacts& pj = facts->pjlink;
    DueWork work{
        .id = id, .power = pj.desiredPower, .expired = false, .errorStatus = pj.errorStatusDue};
    if (pj.desiredPower && now - pj.desiredSince >= kDesiredPowerFor) {
      work.expired = true;
      state->AppendHistoryFor(id, std::string(PowerOperation(*pj.desiredPower)) +
                                      " not accepted: the display stayed busy");
      pj.desiredPower.reset();
    }
    pj.errorStatusDue = false;
    if ((work.power && !work.expired) || work.errorStatus) due.push_back(work);
  }
  return due;
}

}  // namespace

void ServePjlinkDisplays(CConsoleCore& core) {
  CCommandTransaction& transaction = core.Transaction();
  for (const DueWork& work : CollectDue(core)) {
    if (core.Stopping()) return;
    if (work.power && !work.expired) {
      const std::string_view command =
          *work.power ? protocol::command::kPowerOn : protocol::command::kPowerOff;
      if (transaction.SendCommandToDisplay(work.id, command)) {
        core.Lock()->AppendHistoryFor(work.id, PowerOperation(*work.power));
      }
    }
    if (work.errorStatus) {
      const auto fan = transaction.SendCommandToDisplay(work.id, protocol::query::kFanState);
      if (fan && *fan == kFanAbnormalReply) {
        auto state = core.Lock();
        state->AppendHistoryFor(work.id, "Warning Fan Operation");
        state->SendAlarmMail(AlarmKind::kFanFault, state->AddressOf(work.id));
      }
    }
  }
}

}  // namespace tarnex
