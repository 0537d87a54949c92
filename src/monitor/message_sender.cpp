#include "monitor/message_sender.h"

#include <memory>
#include <optional>
#include <vector>

#include "console/member_sequence.h"
#include "monitor/message_frames.h"
#include "monitor/progress_popup.h"
#include "monitor/status_decoders.h"

namespace tarnex {
namespace {

// One member's frames, each sent when the last has its reply, whatever the reply says.
class FrameSequence : public MemberSequence {
 public:
  explicit FrameSequence(const std::vector<std::string>& frames) : m_frames(frames) {}

  std::optional<MemberQuery> Start() override { return Query(); }
  std::optional<MemberQuery> Next(std::optional<std::string>) override { return Query(); }
  bool Finished() const { return m_next == m_frames.size(); }

 private:
  std::optional<MemberQuery> Query() {
    if (m_next == m_frames.size()) return std::nullopt;
    return MemberQuery{m_frames[m_next++]};
  }

  const std::vector<std::string>& m_frames;
  size_t m_next = 0;
};

size_t MemberCount(const CommandTarget& target) {
  switch (target.route) {
    case CommandTarget::Route::kDisplay:
      return 1;
    case CommandTarget::Route::kNetworkGroup:
      return target.members.size();
    case CommandTarget::Route::kSerial:
      return target.setIds.size();
    case CommandTarget::Route::kNone:
      break;
  }
  return 0;
}

}  // namespace

MessageResult SendMessage(CConsoleCore& core, const CommandTarget& target, std::string_view text,
                          int alignment, int colour) {
  MessageResult result;
  result.members = MemberCount(target);
  if (result.members == 0 || !MessageSupported(text)) return result;
  const std::vector<std::string> frames = MessageFrames(text, alignment, colour);
  std::vector<std::unique_ptr<FrameSequence>> sequences;
  std::vector<MemberSequence*> running;
  for (size_t i = 0; i < result.members; ++i) {
    sequences.push_back(std::make_unique<FrameSequence>(frames));
    running.push_back(sequences.back().get());
  }
  std::optional<ProgressPopup> popup;
  if (target.IsGroup()) popup.emplace(core.Ui());
  const std::vector<SequenceOutcome> outcomes =
      core.Transaction().RunSequences(target, running, {}, [&](size_t done) {
        if (popup) popup->SetPos(GroupProgress(done, result.members));
      });
  auto state = core.Lock();
  for (size_t i = 0; i < outcomes.size(); ++i) {
    state->LetOthersIn();
    const SequenceOutcome& outcome = outcomes[i];
    result.cancelled = result.cancelled || outcome.cancelled;
    if (!outcome.up || outcome.givenUp || outcome.skipped || outcome.cancelled ||
        !sequences[i]->Finished()) {
      continue;
    }
    ++result.shown;
    constexpr const char* kSent = "Send Message to Monitor";
    if (target.route == CommandTarget::Route::kSerial) {
      state->AppendSerialHistory(target.SerialName(i), kSent);
    } else {
      state->AppendHistoryFor(
          target.route == CommandTarget::Route::kDisplay ? target.display : target.members[i],
          kSent);
    }
  }
  if (popup) popup->SetPos(100);
  return result;
}

void PostMessage(CConsoleCore& core, std::string text, int alignment, int colour) {
  CommandTarget target = core.Transaction().CaptureTarget();
  JobKeys keys = target.Keys();
  core.Jobs().Post(std::move(keys),
                   [&core, target = std::move(target), text = std::move(text), alignment, colour] {
                     SendMessage(core, target, text, alignment, colour);
                   });
}

void PostClearMessage(CConsoleCore& core) {
  CommandTarget target = core.Transaction().CaptureTarget();
  JobKeys keys = target.Keys();
  core.Jobs().Post(std::move(keys), [&core, target = std::move(target)] {
    const auto reply = core.Transaction().SendCommand(kHideMessage, target);
    if (reply && !target.IsGroup()) core.Transaction().AppendHistoryFor(target, "Clear Message");
  });
}

}  // namespace tarnex
