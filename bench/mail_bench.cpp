// mail-bench: alarm mails to a real SMTP server on loopback (aiosmtpd, Debian
// python3-aiosmtpd, run by /usr/bin/python3 from tests/support/smtp_server.py).
//
// Measured: what raising 1000 alarms costs the thread that raises them (the console's
// exchanges raise link alarms while they hold nothing but must not wait for a mail server),
// and how many mails per second the mail worker then delivers. The last line is the summary:
//   mail-bench: raise 1000 alarms <ms> ms, delivered <n> in <ms> ms, <mails/s> mails/s

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>

#include "monitor/alarm_queue.h"
#include "monitor/smtp/smtp_sender.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kAlarms = 1000;

long long Ms(Clock::duration duration) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(duration).count();
}

// The SMTP server as a child process; it ends when its input closes.
class SmtpServer {
 public:
  explicit SmtpServer(const std::string& folder) {
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) throw std::runtime_error("mail-bench: no pipe");
    m_pid = ::fork();
    if (m_pid == 0) {
      ::dup2(in[0], STDIN_FILENO);
      ::dup2(out[1], STDOUT_FILENO);
      ::execl("/usr/bin/python3", "python3", SMTP_SERVER_SCRIPT, folder.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    m_input = in[1];
    std::string line;
    char c;
    while (line.find('\n') == std::string::npos && ::read(out[0], &c, 1) == 1) line += c;
    ::close(out[0]);
    if (line.rfind("ready ", 0) != 0) throw std::runtime_error("mail-bench: no SMTP server");
    m_port = line.substr(6, line.find('\n') - 6);
  }
  ~SmtpServer() {
    ::close(m_input);
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
  }
  const std::string& Port() const { return m_port; }

 private:
  pid_t m_pid = -1;
  int m_input = -1;
  std::string m_port;
};

size_t Stored(const std::filesystem::path& folder) {
  size_t count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    count += entry.is_regular_file();
  return count;
}

int Run() {
  char scratch[] = "/tmp/mail-bench-XXXXXX";
  if (::mkdtemp(scratch) == nullptr) throw std::runtime_error("mail-bench: no folder");
  const std::filesystem::path folder = scratch;
  long long raised = 0;
  long long delivered = 0;
  size_t count = 0;
  {
    SmtpServer server(folder.string());
    const tarnex::AlarmSettings settings{.subject = "[Warning]Alarm Tarnex Manager",
                                         .to = "ops@example.org",
                                         .from = "console@example.org",
                                         .server = "127.0.0.1:" + server.Port()};
    tarnex::AlarmQueue queue([&](tarnex::AlarmKind kind, const std::string& address) {
      const auto composed = tarnex::ComposeAlarmMail(kind, address, settings);
      tarnex::AlarmMailResult result;
      if (composed.mail) result.sent = tarnex::SendMail(*composed.mail, settings.server, {}).sent;
      return result;
    });
    const auto start = Clock::now();
    for (int i = 0; i < kAlarms; ++i) {
      queue.Enqueue(tarnex::AlarmKind::kLinkFault,
                    "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1));
    }
    raised = Ms(Clock::now() - start);
    const auto deadline = start + std::chrono::minutes(5);
    while ((count = Stored(folder)) < static_cast<size_t>(kAlarms) && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    delivered = Ms(Clock::now() - start);
    queue.Stop();
  }
  std::filesystem::remove_all(folder);
  std::printf(
      "mail-bench: raise %d alarms %lld ms, delivered %zu in %lld ms, %.0f mails/s\n", kAlarms,
      raised, count, delivered,
      delivered > 0 ? 1000.0 * static_cast<double>(count) / static_cast<double>(delivered) : 0.0);
  return count == static_cast<size_t>(kAlarms) ? 0 : 1;
}

}  // namespace

int main() {
  try {
    return Run();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return 1;
  }
}
