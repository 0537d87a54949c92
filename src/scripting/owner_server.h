#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "console/console_core.h"
#include "platform/cancel_token.h"
#include "scripting/schedule_command.h"
#include "scripting/script_report.h"
#include "scripting/script_request.h"

namespace tarnex {

// The console's side of the owner socket: scripts hand it their requests, and it runs them on
// its own scheduler beside the operator's work. Everything a client sends is checked again
// here: its uid must be the console's, one request of at most 64 KiB must arrive within 2 s,
// no more than 8 clients are served at once. A request never writes the selection and never
// shows a box; the console never opens a path a client names.
//
// While a request runs the client is sent a heartbeat line every second, so that a client
// can tell an owner at work from an owner that hangs.
class OwnerServer {
 public:
  static constexpr size_t kMaxClients = 8;
  static constexpr size_t kMaxRequestBytes = 64 * 1024;
  static constexpr std::chrono::seconds kRequestWait{2};

  explicit OwnerServer(CConsoleCore& core) : m_core(core) {}
  ~OwnerServer();
  OwnerServer(const OwnerServer&) = delete;
  OwnerServer& operator=(const OwnerServer&) = delete;

  // Who answers schedule commands; before Start.
  void SetSchedules(ScheduleCommandContext schedules) { m_schedules = std::move(schedules); }
  // Told of every request run and what it came to (on the request's thread); before Start.
  using RanHook = std::function<void(const ScriptRequest&, const ScriptReport&)>;
  void SetRanHook(RanHook ran) { m_ran = std::move(ran); }
  // Listens at `socketPath`; the caller holds the owner lock. False with `error` set.
  bool Start(const std::string& socketPath, std::string* error);
  // No more clients; requests in flight end as the console's stop ends their jobs. Call after
  // the core's Stop(), so that no wait outlasts a slice.
  void Stop();

 private:
  struct Client {
    std::thread thread;
    std::atomic<bool> done{false};
  };

  void AcceptLoop();
  void Serve(int fd);
  void Reap(bool all);

  CConsoleCore& m_core;
  ScheduleCommandContext m_schedules;
  RanHook m_ran;
  int m_listen = -1;
  CancelToken m_stop;
  std::thread m_acceptor;
  std::mutex m_mutex;
  std::list<Client> m_clients;
};

}  // namespace tarnex
