#include "links/serial_reply.h"

#include "protocol/command_frame.h"

namespace tarnex {
namespace {

constexpr size_t kReplySetIdPos = 2;
constexpr std::string_view kDefaultReplySetId = "01";
constexpr std::string_view kEverySetId = "00";

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameSetId(std::string_view a, std::string_view b) {
  return a.size() == 2 && b.size() == 2 && Lower(a[0]) == Lower(b[0]) && Lower(a[1]) == Lower(b[1]);
}

// The two characters at positions 2 and 3 when they can be a set ID, else empty.
std::string_view CarriedSetId(std::string_view reply) {
  if (reply.size() < kReplySetIdPos + 2) return {};
  const std::string_view id = reply.substr(kReplySetIdPos, 2);
  return IsHexDigit(id[0]) && IsHexDigit(id[1]) ? id : std::string_view();
}

}  // namespace

SerialReplyVerdict JudgeSerialReply(std::string_view received, std::string_view addressedSetId) {
  if (!protocol::IsReplyComplete(received)) {
    return SerialReplyVerdict::kIncomplete;
  }
  const std::string_view carried = CarriedSetId(received);
  const bool taken = carried.empty() || SameSetId(carried, kDefaultReplySetId) ||
                     SameSetId(carried, addressedSetId) || addressedSetId == kEverySetId;
  return taken ? SerialReplyVerdict::kTaken : SerialReplyVerdict::kOtherDisplay;
}

std::string NormalizeSerialReply(std::string_view reply, std::string_view addressedSetId) {
  std::string normalized(reply);
  const std::string_view carried = CarriedSetId(reply);
  if (!carried.empty() && SameSetId(carried, addressedSetId)) {
    normalized.replace(kReplySetIdPos, 2, kDefaultReplySetId);
  }
  return normalized;
}

size_t FirstReplyLength(std::string_view received) {
  const size_t end = received.find('x', protocol::kMinReplyLength);
  return end == std::string_view::npos ? received.size() : end + 1;
}

std::string_view SkipLeadingLineEnds(std::string_view received) {
  while (!received.empty() && (received.front() == '\n' || received.front() == '\r')) {
    received.remove_prefix(1);
  }
  return received;
}

}  // namespace tarnex
