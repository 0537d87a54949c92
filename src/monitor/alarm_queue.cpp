#include "monitor/alarm_queue.h"

#include "platform/trace.h"

namespace tarnex {

AlarmQueue::AlarmQueue(Sender sender) : m_sender(std::move(sender)) {}

void AlarmQueue::Enqueue(AlarmKind kind, const std::string& address) {
  m_mails.Post([this, kind, address] {
    if (m_sender) {
      m_sender(kind, address);
    } else {
      Trace("alarm mail %d for %s: no mail sender", static_cast<int>(kind), address.c_str());
    }
  });
}

}  // namespace tarnex
