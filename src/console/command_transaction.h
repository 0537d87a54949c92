#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "console/command_target.h"
#include "console/console_core.h"
#include "console/link_record.h"
#include "console/member_sequence.h"
#include "console/selection.h"
#include "links/network_exchange.h"
#include "registry/tree_observer.h"

namespace tarnex {

// How one send waits.
struct SendOptions {
  // Ends the exchanges early when readable; kNoSocket means the console's stop. A page read
  // passes its read token, which a new selection cancels.
  int cancelFd = kNoSocket;
  // A serial reply is waited for 1000 ms instead of 3000 ms: a page's link check should not
  // keep the operator waiting on a set ID that is not there.
  bool shortSerialWait = false;
};

// What one send came to.
struct SendOutcome {
  // The reply (of the last member, for a group); none when the display did not answer, was
  // gone, or the send was cancelled.
  std::optional<std::string> reply;
  // The console is closing or the read went stale: nobody is to blame for the silence.
  bool cancelled = false;
  // The display that answered last: the target's display, or a group's last member.
  DisplayId last = kNoDisplay;
  // What a PJLink display said besides its reply; kNone for a native one.
  LinkAnswer answer = LinkAnswer::kNone;
};

// The one way everything talks to displays. A command goes to the display or to every member
// of the group of a target, over the network or the serial line, and the reply comes back as
// text, or nothing when the display did not answer. Each call blocks its thread for the whole
// exchange. The console lock is held only to look the displays up and to record the outcome,
// never while a display is waited for: each display's channel keeps its exchanges apart, and
// exchanges with different displays run side by side. Nothing here reads or writes the
// selection, but CaptureTarget on the UI thread.
class CCommandTransaction {
 public:
  explicit CCommandTransaction(CConsoleCore& core);

  // The selection now, for a command sent later: TargetOf the one selection value.
  CommandTarget CaptureTarget();
  // The target of one network display, by its row now.
  CommandTarget DisplayTarget(int row);

  SendOutcome Send(std::string_view command, const CommandTarget& target,
                   const SendOptions& options = {});
  // `command` carries set ID "01".
  std::optional<std::string> SendCommand(std::string_view command, const CommandTarget& target);
  // To the selection as it stands: for the UI thread and tests, never for a job.
  std::optional<std::string> SendCommand(std::string_view command);
  // One history line for the display or set ID of a single target; none for a group.
  void AppendHistoryFor(const CommandTarget& target, std::string_view operation);

  // Runs a sequence of queries per member: sequences[i] talks to the target's i-th member (a
  // network group's display, the one display, or each set ID on the serial line). Network
  // members run side by side, each with its own pacing; a display listed twice runs its
  // listings in waves; a member given up ends its sequence there, and its later listings ask
  // nothing. What the exchanges did to the link states is recorded in member order under one
  // lock once all have ended. The serial line runs the members one after another. `progress`
  // gets the number of members whose sequence has ended. Blocks the calling thread; nothing
  // here reads or writes the selection.
  std::vector<SequenceOutcome> RunSequences(const CommandTarget& target,
                                            std::span<MemberSequence* const> sequences,
                                            const SendOptions& options = {},
                                            const std::function<void(size_t)>& progress = {});

  // For background work: one command to the network display `id`.
  std::optional<std::string> SendCommandToDisplay(DisplayId id, std::string_view command);

  // The exchange with the display `id`: three failed receives give it up.
  std::optional<std::string> NetworkExchange(DisplayId id, std::string_view command);
  // The same without retries or give-up: one failed receive returns nothing.
  std::optional<std::string> NetworkQueryOnce(DisplayId id, std::string_view command);
  // The same with the whole outcome, ending early when `cancelFd` is readable.
  SendOutcome QueryOnce(DisplayId id, std::string_view command, int cancelFd);
  // One exchange on the serial line; empty when nothing arrived.
  std::string SerialExchange(std::string_view command, const SendOptions& options = {});

 private:
  using State = CConsoleCore::State;
  // Called under the lock, in member order, for each member still in the table once a run
  // has recorded what it did to the links.
  using MemberRecorder = std::function<void(const State&, size_t, const SequenceOutcome&)>;

  int CancelFd(const SendOptions& options) const;
  SendOutcome SendNetworkGroup(const std::vector<DisplayId>& members, std::string_view command,
                               const SendOptions& options);
  std::vector<SequenceOutcome> RunNetworkSequences(const std::vector<DisplayId>& members,
                                                   std::span<MemberSequence* const> sequences,
                                                   int cancelFd,
                                                   const std::function<void(size_t)>& progress,
                                                   const MemberRecorder& record = {});
  std::vector<SequenceOutcome> RunSerialSequences(const std::vector<std::string>& setIds,
                                                  std::span<MemberSequence* const> sequences,
                                                  const SendOptions& options,
                                                  const std::function<void(size_t)>& progress);
  SendOutcome SendSerial(std::string_view command, const CommandTarget& target,
                         const SendOptions& options);
  std::optional<std::string> SerialWithSetId(std::string_view command, const std::string& setId,
                                             const SendOptions& options);
  SendOutcome ExchangeAt(DisplayId id, const ExchangeSpec& spec, bool giveUp, int cancelFd);
  SendOutcome RouteToDisplay(DisplayId id, std::string_view command, int cancelFd);

  CConsoleCore& m_core;
};

}  // namespace tarnex
