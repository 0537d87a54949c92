#include "scripting/owner_client.h"

#include <unistd.h>

#include "platform/owner_link.h"

namespace tarnex {
namespace {

using Clock = std::chrono::steady_clock;
// A report lists up to every display of the table, a thousand groups' members counted each.
constexpr size_t kMaxReportBytes = 64 * 1024 * 1024;

ScriptReport Unreached(int exit, const char* code, std::string message) {
  ScriptReport report;
  report.exit = exit;
  report.errorCode = code;
  report.errorMessage = std::move(message);
  return report;
}

class OwnerFd {
 public:
  explicit OwnerFd(int fd) : m_fd(fd) {}
  ~OwnerFd() {
    if (m_fd >= 0) ::close(m_fd);
  }
  int Fd() const { return m_fd; }

 private:
  int m_fd;
};

}  // namespace

ScriptReport AskOwner(const std::string& socketPath, const ScriptRequest& request) {
  const auto started = Clock::now();
  const auto requestDeadline = started + std::chrono::seconds(request.timeoutSeconds);
  const OwnerFd owner(ConnectOwnerSocket(socketPath, kOwnerSilence));
  if (owner.Fd() < 0)
    return Unreached(script_exit::kOwnerBusy, "owner_busy",
                     "the console holds the displays but does not answer (not logged in?)");
  const auto uid = PeerUid(owner.Fd());
  if (!uid || *uid != ::geteuid())
    return Unreached(script_exit::kInternal, "internal",
                     "the owner socket belongs to another user: " + socketPath);
  if (!WriteAllWithin(owner.Fd(), RequestToJson(request) + "\n", Clock::now() + kOwnerSilence))
    return Unreached(script_exit::kOwnerBusy, "owner_busy", "the console took no request");
  std::string pending;
  std::string line;
  for (;;) {
    const LineRead read =
        ReadLineWithin(owner.Fd(), pending, line, kMaxReportBytes, Clock::now() + kOwnerSilence);
    if (read != LineRead::kLine) {
      // Gone or silent: past the request's own deadline that is its time-out.
      if (Clock::now() >= requestDeadline)
        return Unreached(script_exit::kTimedOut, "timeout", "the console did not finish in time");
      return Unreached(script_exit::kOwnerBusy, "owner_busy",
                       read == LineRead::kTimedOut ? "the console stopped answering"
                                                   : "the console closed during the request");
    }
    if (line == "{\"alive\":true}") continue;
    if (auto report = ReportFromJson(line)) return std::move(*report);
    return Unreached(script_exit::kInternal, "internal", "the console's answer is unreadable");
  }
}

}  // namespace tarnex
