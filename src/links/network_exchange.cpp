#include "links/network_exchange.h"

#include <algorithm>

#include "platform/trace.h"
#include "protocol/command_frame.h"

namespace tarnex {
namespace {

enum class Receive { kData, kFailed };

// One paced receive appended to `buffer`.
Receive ReceiveInto(SocketApi& api, int fd, std::string& buffer, const Sleeper& sleep) {
  sleep(kReceivePacing);
  const size_t room = kReplyBufferSize - 1 - buffer.size();
  if (room == 0) return Receive::kFailed;
  char chunk[kReceiveChunk];
  const ssize_t n = api.Recv(fd, chunk, std::min(room, sizeof chunk));
  if (n <= 0) return Receive::kFailed;
  buffer.append(chunk, static_cast<size_t>(n));
  return Receive::kData;
}

}  // namespace

ExchangeOutcome ExchangeWithDisplay(SocketApi& api, int fd, std::string_view command,
                                    int maxFailedReceives, bool resend, const Sleeper& sleep) {
  ExchangeOutcome outcome;
  std::string buffer;
  api.Send(fd, command.data(), command.size());
  while (true) {
    if (ReceiveInto(api, fd, buffer, sleep) == Receive::kFailed) {
      Trace("SOCKET_ERROR %d", api.LastError());
      ++outcome.failedReceives;
      Trace("recvCnt : %d", outcome.failedReceives);
      if (outcome.failedReceives >= maxFailedReceives) return outcome;
      if (resend) {
        buffer.clear();
        api.Send(fd, command.data(), command.size());
        Trace("%d send()", outcome.failedReceives);
      }
      continue;
    }
    if (protocol::IsReplyComplete(buffer)) break;
    Trace("%s", buffer.c_str());
  }
  Trace("%s", buffer.c_str());
  sleep(kReceivePacing);
  outcome.complete = true;
  outcome.reply = std::move(buffer);
  return outcome;
}

}  // namespace tarnex
