#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "console/console_core.h"
#include "console/page_host.h"
#include "links/link_connector.h"

namespace tarnex {

// Keeps the network links usable without the operator: every tick of the view's 10 s timer
// starts one pass that reconnects the displays marked down and re-reads the open group list. A tick
// that finds the previous pass still running skips, so two passes never work on the same display.
class CLinkSupervisor {
 public:
  CLinkSupervisor(CConsoleCore& core, PageHost& pages);
  ~CLinkSupervisor();  // waits for a running pass; the console's stop ends it promptly
  CLinkSupervisor(const CLinkSupervisor&) = delete;
  CLinkSupervisor& operator=(const CLinkSupervisor&) = delete;

  // Timer 1: starts a pass on its own thread in network mode. False when none was started.
  bool OnTick();
  // One pass on the calling thread.
  void RunPass();
  bool PassRunning() const { return m_running.load(); }
  // Waits for the running pass, if any.
  void Wait();

 private:
  // Connects the displays down; true when one was reconnected.
  bool Reconnect(const std::vector<DisplayId>& ids, const std::vector<std::string>& addresses);
  // Lock held; true when the display was reconnected.
  bool Record(const CConsoleCore::State& state, DisplayId id, const std::string& address,
              const Connection& result);

  CConsoleCore& m_core;
  PageHost& m_pages;
  std::atomic<bool> m_running{false};
  std::mutex m_threadMutex;
  std::thread m_thread;
};

}  // namespace tarnex
