#include "agent/state_pass.h"

#include <condition_variable>
#include <memory>
#include <mutex>

#include "console/command_transaction.h"
#include "console/member_sequence.h"
#include "monitor/status_decoders.h"
#include "protocol/command_catalogue.h"
#include "protocol/command_frame.h"
#include "scripting/script_steps.h"

namespace tarnex::agent {
namespace {

namespace query = protocol::query;

enum class Step { kPower, kInput, kMute, kFan, kLamp1High, kLamp1Low, kLamp2High, kLamp2Low, kEnd };

class StateSequence : public MemberSequence {
 public:
  explicit StateSequence(bool full) : m_full(full) {}

  std::optional<MemberQuery> Start() override { return Ask(Step::kPower); }

  std::optional<MemberQuery> Next(std::optional<std::string> reply) override {
    switch (m_step) {
      case Step::kPower:
        m_found.power = Known(PowerWord(reply));
        // A display in standby says nothing sound about its input or mute.
        if (m_found.power == "on") return Ask(Step::kInput);
        return m_full ? Ask(Step::kFan) : End();
      case Step::kInput:
        m_found.input = Known(InputWord(reply));
        return Ask(Step::kMute);
      case Step::kMute:
        m_found.mute = Known(MuteWord(reply));
        return m_full ? Ask(Step::kFan) : End();
      case Step::kFan:
        m_found.fan = FanWord(reply);
        return Ask(Step::kLamp1High);
      case Step::kLamp1High:
      case Step::kLamp2High:
        m_high = std::move(reply);
        return Ask(static_cast<Step>(static_cast<int>(m_step) + 1));
      case Step::kLamp1Low:
        m_found.lampHours1 = Hours(reply);
        return Ask(Step::kLamp2High);
      case Step::kLamp2Low:
        m_found.lampHours2 = Hours(reply);
        return End();
      case Step::kEnd:
        break;
    }
    return End();
  }

  const DisplayState& Found() const { return m_found; }

 private:
  static std::string Known(std::string word) { return word == "unknown" ? std::string() : word; }
  static std::string FanWord(const std::optional<std::string>& reply) {
    const auto text = DecodeGroupFan(reply);
    if (!text) return {};
    return *text == "OK" ? "ok" : "fault";
  }
  std::optional<long long> Hours(const std::optional<std::string>& low) const {
    if (!m_high || !low) return std::nullopt;
    return std::stoll(LampHoursText(m_high, low));
  }
  std::optional<MemberQuery> Ask(Step step) {
    m_step = step;
    std::string command(kQueries[static_cast<size_t>(step)]);
    return MemberQuery{.command = std::move(command), .once = false, .power = false};
  }
  std::optional<MemberQuery> End() {
    m_step = Step::kEnd;
    return std::nullopt;
  }

  static constexpr std::string_view kQueries[] = {
      query::kPower,         query::kInputSelect,  query::kScreenMute,    query::kFanState,
      query::kLampTime1High, query::kLampTime1Low, query::kLampTime2High, query::kLampTime2Low};

  bool m_full;
  Step m_step = Step::kPower;
  DisplayState m_found;
  std::optional<std::string> m_high;
};

// What the pass job and its waiter share: the job may run after the waiter gave up (the
// console stopped), so neither owns it alone.
struct PassRun {
  std::vector<std::unique_ptr<StateSequence>> sequences;
  std::vector<SequenceOutcome> outcomes;
  std::mutex mutex;
  std::condition_variable ended;
  bool done = false;
};

CommandTarget TargetOf(const FleetView& fleet, std::vector<DisplayId>& ids) {
  CommandTarget target;
  for (const auto& display : fleet.displays) {
    if (display.setNumber >= 0) {
      target.route = CommandTarget::Route::kSerial;
      target.serialGroup = true;
      target.setIds.push_back(
          protocol::DeriveSetId(std::to_string(display.setNumber)).value_or("01"));
    } else {
      target.route = CommandTarget::Route::kNetworkGroup;
      target.members.push_back(display.id);
      ids.push_back(display.id);
    }
  }
  return target;
}

}  // namespace

void RunStatePass(CConsoleCore& core, const FleetView& fleet, bool full, StateBook& book,
                  std::time_t now) {
  std::vector<DisplayId> ids;
  const CommandTarget target = TargetOf(fleet, ids);
  if (target.route == CommandTarget::Route::kNone) return;
  auto run = std::make_shared<PassRun>();
  std::vector<MemberSequence*> sequences;
  for (size_t i = 0; i < fleet.displays.size(); ++i) {
    run->sequences.push_back(std::make_unique<StateSequence>(full));
    sequences.push_back(run->sequences.back().get());
  }
  const JobKeys keys =
      target.route == CommandTarget::Route::kSerial ? JobKeys::SerialLine() : JobKeys::Leased(ids);
  core.Jobs().Post(keys, [&core, run, target, sequences] {
    std::vector<SequenceOutcome> outcomes = core.Transaction().RunSequences(target, sequences);
    std::lock_guard lock(run->mutex);
    run->outcomes = std::move(outcomes);
    run->done = true;
    run->ended.notify_all();
  });
  std::unique_lock lock(run->mutex);
  while (!run->done && !core.Stopping()) {
    run->ended.wait_for(lock, std::chrono::milliseconds(100));
  }
  const bool done = run->done;
  lock.unlock();
  if (!done) return;
  // A display deleted while the pass ran keeps nothing: its key may come back as another's.
  std::vector<bool> listed;
  {
    auto state = core.Lock();
    for (const auto& display : fleet.displays)
      listed.push_back(display.setNumber >= 0 || state->RowOf(display.id) >= 0);
  }
  for (size_t i = 0; i < run->outcomes.size() && i < fleet.displays.size(); ++i) {
    const SequenceOutcome& outcome = run->outcomes[i];
    if (!listed[i] || !outcome.up || outcome.givenUp || outcome.cancelled || outcome.skipped)
      continue;
    DisplayState found = run->sequences[i]->Found();
    found.readAt = now;
    book.Merge(fleet.displays[i].key, found);
  }
}

}  // namespace tarnex::agent
