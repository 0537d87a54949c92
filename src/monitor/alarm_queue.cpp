#include "monitor/alarm_queue.h"

#include "platform/trace.h"

namespace tarnex {

AlarmQueue::AlarmQueue(Sender sender) : m_sender(std::move(sender)) {}

void AlarmQueue::Enqueue(AlarmKind kind, const std::string& address) {
  const bool queued =
      m_mails.PostBounded([this, kind, address] { Send(kind, address); }, kMaxWaiting);
  if (!queued) {
    Trace("alarm mail %d for %s dropped: too many mails wait", static_cast<int>(kind),
          address.c_str());
  }
}

void AlarmQueue::EnqueueFirst(AlarmKind kind, const std::string& address,
                              std::function<void()> done) {
  m_mails.PostFront([this, kind, address, done = std::move(done)] {
    Send(kind, address);
    if (done) done();
  });
}

// Mail worker.
void AlarmQueue::Send(AlarmKind kind, const std::string& address) {
  if (m_sender) {
    m_sender(kind, address);
  } else {
    Trace("alarm mail %d for %s: no mail sender", static_cast<int>(kind), address.c_str());
  }
}

}  // namespace tarnex
