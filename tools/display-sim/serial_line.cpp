#include "display-sim/serial_line.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <stdexcept>

#include "display-sim/command_line_parser.h"
#include "display-sim/reply_faults.h"

namespace tarnex::sim {
namespace {

constexpr std::string_view kLineReplySetId = "01";
constexpr std::string_view kEverySetId = "00";
constexpr auto kSerialSplitPause = std::chrono::milliseconds(20);
constexpr int kMaxPollMs = 200;
constexpr size_t kReceiveChunk = 4096;
// A console that never reads its replies cannot make the simulator grow without bound.
constexpr size_t kMaxQueuedBytes = 64 * 1024;
constexpr size_t kSetIdPos = 3;

std::string Lowered(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

bool IsSetIdText(std::string_view text) {
  return text.size() == 2 && std::isxdigit(static_cast<unsigned char>(text[0])) &&
         std::isxdigit(static_cast<unsigned char>(text[1]));
}

// The set ID a command carries, lower-cased, or empty.
std::string CommandSetId(std::string_view line) {
  if (line.size() < kSetIdPos + 2) return {};
  const std::string_view id = line.substr(kSetIdPos, 2);
  return IsSetIdText(id) ? Lowered(id) : std::string();
}

}  // namespace

SerialLine::SerialLine(const SerialLineOptions& options, CommandLog& log)
    : log_(log),
      split_(options.splitReplies),
      delayMs_(options.delayMs),
      lines_(kMaxCommandLength) {
  const std::string replySetId =
      options.replyOwnSetId ? std::string() : std::string(kLineReplySetId);
  for (const std::string& setId : options.setIds) {
    if (!IsSetIdText(setId) || setId == kEverySetId) {
      throw std::invalid_argument("display-sim: not a display's set ID: '" + setId + "'");
    }
    displays_.emplace(Lowered(setId), std::make_unique<Display>(replySetId));
  }
  if (!options.linkPath.empty()) {
    link_ = std::make_unique<DeviceLink>(options.linkPath, pty_.DevicePath());
  }
  thread_ = std::thread(&SerialLine::Run, this);
}

SerialLine::~SerialLine() {
  stop_ = true;
  wake_.Signal();
  thread_.join();
}

std::vector<std::string> SerialLine::SetIds() const {
  std::lock_guard lock(stateMutex_);
  std::vector<std::string> ids;
  for (const auto& entry : displays_) ids.push_back(entry.first);
  return ids;
}

void SerialLine::SetSilent(std::string_view setId, bool silent) {
  std::lock_guard lock(stateMutex_);
  const auto found = displays_.find(Lowered(setId));
  if (found != displays_.end()) found->second->silent = silent;
}

std::string SerialLine::Value(std::string_view setId, std::string_view commandKey) const {
  std::lock_guard lock(stateMutex_);
  const auto found = displays_.find(Lowered(setId));
  return found != displays_.end() ? found->second->state.Value(commandKey) : std::string();
}

void SerialLine::Run() {
  while (!stop_.load()) {
    const bool writing = !outgoing_.empty() && outgoing_.front().due <= Clock::now();
    std::array<pollfd, 2> fds{
        {{pty_.MasterFd(), static_cast<short>(POLLIN | (writing ? POLLOUT : 0)), 0},
         {wake_.Fd(), POLLIN, 0}}};
    // While a reply is due the wait is for the line to take it, not for the clock.
    const int timeout = writing ? kMaxPollMs : PollTimeoutMs();
    if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) break;
    if (fds[1].revents & POLLIN) wake_.Drain();
    if (fds[0].revents & POLLIN) Receive();
    Flush();
  }
}

// Wakes for the next piece due, and now and then regardless, as a safety net.
int SerialLine::PollTimeoutMs() const {
  if (outgoing_.empty()) return kMaxPollMs;
  const auto wait =
      std::chrono::ceil<std::chrono::milliseconds>(outgoing_.front().due - Clock::now());
  return static_cast<int>(std::clamp<long>(wait.count(), 0, kMaxPollMs));
}

void SerialLine::Receive() {
  std::array<char, kReceiveChunk> chunk{};
  const ssize_t got = ::read(pty_.MasterFd(), chunk.data(), chunk.size());
  if (got <= 0) return;
  // An overlong line is noise on the line: it is dropped and the next line is read afresh.
  lines_.Append({chunk.data(), static_cast<size_t>(got)});
  while (const auto line = lines_.NextLine()) Answer(*line);
}

void SerialLine::Answer(std::string_view line) {
  const std::string setId = CommandSetId(line);
  log_.Record("serial:" + (setId.empty() ? std::string("?") : setId), line);
  const auto reply = Reply(line);
  if (!reply) return;
  const std::vector<std::string> pieces = split_.load() ? SplitReply(*reply) : std::vector{*reply};
  auto due = Clock::now() + std::chrono::milliseconds(std::max(0, delayMs_.load()));
  for (const std::string& piece : pieces) {
    if (queuedBytes_ + piece.size() > kMaxQueuedBytes) return;
    outgoing_.push_back({piece, due});
    queuedBytes_ += piece.size();
    due += kSerialSplitPause;
  }
}

std::optional<std::string> SerialLine::Reply(std::string_view line) {
  const std::string setId = CommandSetId(line);
  std::lock_guard lock(stateMutex_);
  const auto found = displays_.find(setId);
  if (found == displays_.end()) return std::nullopt;
  // A silent display still takes the command; only its answer is missing.
  auto reply = found->second->responder.Answer(line);
  if (MessageBoard::IsShowOrder(line)) {
    log_.Record("serial:" + setId, "message: " + found->second->state.Message().ShownText());
  }
  return found->second->silent ? std::nullopt : reply;
}

void SerialLine::Flush() {
  while (!outgoing_.empty() && outgoing_.front().due <= Clock::now()) {
    std::string& bytes = outgoing_.front().bytes;
    const ssize_t sent = ::write(pty_.MasterFd(), bytes.data(), bytes.size());
    if (sent < 0 && errno != EAGAIN && errno != EINTR) {
      outgoing_.clear();  // the line is broken; what was due is lost as on a real wire
      queuedBytes_ = 0;
      return;
    }
    if (sent <= 0) return;  // full: the console is not reading yet
    queuedBytes_ -= static_cast<size_t>(sent);
    if (static_cast<size_t>(sent) < bytes.size()) {
      bytes.erase(0, static_cast<size_t>(sent));
      return;
    }
    outgoing_.pop_front();
  }
}

}  // namespace tarnex::sim
