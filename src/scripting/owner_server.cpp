#include "scripting/owner_server.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>

#include "platform/owner_link.h"
#include "platform/trace.h"
#include "scripting/script_runner.h"

namespace tarnex {
namespace {

using Clock = std::chrono::steady_clock;
constexpr std::chrono::seconds kHeartbeat{1};
constexpr std::chrono::seconds kWriteWait{2};
// A request's own deadline, and a little more for the answer to be made and sent.
constexpr std::chrono::seconds kAnswerSlack{2};

bool Send(int fd, const std::string& line) {
  return WriteAllWithin(fd, line + "\n", Clock::now() + kWriteWait);
}

std::string Refusal(int exit, const char* code, const std::string& message) {
  ScriptReport report;
  report.exit = exit;
  report.errorCode = code;
  report.errorMessage = message;
  return ReportToJson(report);
}

}  // namespace

OwnerServer::~OwnerServer() {
  Stop();
}

bool OwnerServer::Start(const std::string& socketPath, std::string* error) {
  m_listen = ListenOwnerSocket(socketPath, error);
  if (m_listen < 0) return false;
  m_acceptor = std::thread([this] { AcceptLoop(); });
  return true;
}

void OwnerServer::Stop() {
  m_stop.Cancel();
  if (m_acceptor.joinable()) m_acceptor.join();
  Reap(true);
  if (m_listen >= 0) ::close(m_listen);
  m_listen = -1;
}

void OwnerServer::Reap(bool all) {
  std::list<Client> ended;
  {
    std::lock_guard lock(m_mutex);
    for (auto it = m_clients.begin(); it != m_clients.end();) {
      const auto next = std::next(it);
      if (all || it->done) ended.splice(ended.end(), m_clients, it);
      it = next;
    }
  }
  for (Client& client : ended) client.thread.join();
}

void OwnerServer::AcceptLoop() {
  while (!m_stop.Cancelled()) {
    pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_stop.Fd(), POLLIN, 0}};
    if (::poll(fds, 2, 1000) <= 0 || (fds[1].revents & POLLIN) != 0) continue;
    const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) continue;
    Reap(false);
    std::lock_guard lock(m_mutex);
    if (m_clients.size() >= kMaxClients) {
      Send(fd, Refusal(8, "owner_busy", "the console serves 8 scripts already"));
      ::close(fd);
      continue;
    }
    Client& client = m_clients.emplace_back();
    client.thread = std::thread([this, fd, &client] {
      Serve(fd);
      ::close(fd);
      client.done = true;
    });
  }
}

// One client: its request checked, run on a thread of its own, the heartbeat sent here.
void OwnerServer::Serve(int fd) {
  const auto uid = PeerUid(fd);
  if (!uid || *uid != ::geteuid()) {
    Trace("owner socket: refused a client of uid %d", uid ? static_cast<int>(*uid) : -1);
    return;
  }
  std::string pending;
  std::string line;
  const LineRead read =
      ReadLineWithin(fd, pending, line, kMaxRequestBytes, Clock::now() + kRequestWait, m_stop.Fd());
  if (read != LineRead::kLine) {
    if (read == LineRead::kTooLong) Send(fd, Refusal(2, "usage", "the request is too long"));
    return;
  }
  ParsedRequest parsed = RequestFromJson(line);
  if (!parsed.request) {
    Send(fd, Refusal(2, "usage", parsed.error));
    return;
  }
  const ScriptRequest request = std::move(*parsed.request);
  const auto deadline = Clock::now() + std::chrono::seconds(request.timeoutSeconds);
  auto answer = std::async(std::launch::async, [this, &request, deadline] {
    const ScriptReport report = AcceptAndRun(
        m_core, request,
        {.deadline = deadline, .linksKnown = true, .connect = {}, .schedules = m_schedules});
    if (m_ran) m_ran(request, report);
    return ReportToJson(report);
  });
  while (answer.wait_for(kHeartbeat) != std::future_status::ready) {
    if (!Send(fd, "{\"alive\":true}")) break;
  }
  // The run ends by its deadline, or at once when the console closes.
  if (answer.wait_until(deadline + kAnswerSlack) == std::future_status::ready) {
    Send(fd, answer.get());
  }
}

}  // namespace tarnex
