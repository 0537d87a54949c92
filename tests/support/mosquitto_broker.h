#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/scratch_folder.h"
#include "support/loopback_block.h"

namespace tarnex::testing {

// A TCP connection to host:port made within the time (non-blocking), or -1.
inline int ConnectTcp(const std::string& host, int port, std::chrono::milliseconds timeout) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1) return -1;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int error = 0;
  socklen_t size = sizeof error;
  pollfd entry{fd, POLLOUT, 0};
  if ((::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 ||
       errno == EINPROGRESS) &&
      ::poll(&entry, 1, static_cast<int>(timeout.count())) == 1 &&
      ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0) {
    return fd;
  }
  ::close(fd);
  return -1;
}

inline bool AcceptsTcp(const std::string& host, int port, std::chrono::milliseconds timeout) {
  const int fd = ConnectTcp(host, port, timeout);
  if (fd >= 0) ::close(fd);
  return fd >= 0;
}

// Starts `argv` with `input` as its standard input and its standard output and error appended
// to `output`; the child's pid, or -1. The child gets none of the test's descriptors (a socket
// it kept open would hide a close from the peer), the default handling of SIGTERM whatever the
// test runner set, and SIGKILL when the thread that started it ends: a test process that
// aborts, or that ctest's time-out kills, runs no destructor and must leave no broker behind.
inline pid_t SpawnProgram(const std::vector<std::string>& argv, const std::string& output,
                          const std::string& input = "/dev/null") {
  std::vector<std::string> copies = argv;
  std::vector<char*> args;
  for (std::string& arg : copies) args.push_back(arg.data());
  args.push_back(nullptr);
  const int in = ::open(input.c_str(), O_RDONLY | O_CLOEXEC);
  const int out = ::open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
  const pid_t parent = ::getpid();
  const pid_t pid = in >= 0 && out >= 0 ? ::fork() : -1;
  if (pid == 0) {
    // Only async-signal-safe calls from here to the exec.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);  // the test process ended before the prctl
    sigset_t none;
    ::sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);
    for (const int signal : {SIGTERM, SIGINT, SIGPIPE}) ::signal(signal, SIG_DFL);
    ::dup2(in, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(out, STDERR_FILENO);
    ::close_range(STDERR_FILENO + 1, ~0U, 0);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  for (const int fd : {in, out}) {
    if (fd >= 0) ::close(fd);
  }
  return pid;
}

// The exit status of child `pid` once it ended (128 + signal when a signal ended it), or -1
// when it still runs after the time. Never called without a pid of our own: waitpid(-1)
// would reap another fixture's child.
inline int WaitForChild(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    int status = 0;
    if (pid > 0 && ::waitpid(pid, &status, WNOHANG) == pid) {
      return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    if (pid <= 0 || std::chrono::steady_clock::now() >= deadline) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

// SIGTERM, then SIGKILL when the child is still there after `grace`; it is reaped either way.
inline void EndChild(pid_t pid, std::chrono::milliseconds grace) {
  if (pid <= 0) return;
  ::kill(pid, SIGTERM);
  if (WaitForChild(pid, grace) >= 0) return;
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

// A one-shot program (openssl, mosquitto_passwd, ...) run to its end within the time; its
// exit status, or -1 when it had to be ended.
inline int RunProgram(const std::vector<std::string>& argv, const std::string& output,
                      std::chrono::milliseconds timeout, const std::string& input = "/dev/null") {
  const pid_t pid = SpawnProgram(argv, output, input);
  const int status = WaitForChild(pid, timeout);
  if (status < 0) EndChild(pid, std::chrono::milliseconds(0));
  return status;
}

// What the default broker knows: the site-a agent, an operator of site-a, and a client of
// another site. The agent also owns Home Assistant's discovery topics.
inline std::vector<std::pair<std::string, std::string>> DefaultBrokerUsers() {
  return {{"agent", "agent-secret"}, {"operator", "operator-secret"}, {"other", "other-secret"}};
}
inline constexpr const char* kDefaultBrokerAcl =
    "user agent\n"
    "topic readwrite tarnex/site-a/#\n"
    "topic readwrite homeassistant/#\n"
    "\n"
    "user operator\n"
    "topic read tarnex/site-a/#\n"
    "topic write tarnex/site-a/command\n"
    "topic write tarnex/site-a/display/+/set/#\n"
    "\n"
    "user other\n"
    "topic readwrite tarnex/site-b/#\n";

struct BrokerOptions {
  // Names and passwords of the password file; none leaves no client a way in.
  std::vector<std::pair<std::string, std::string>> users = DefaultBrokerUsers();
  // The ACL file as mosquitto reads it.
  std::string acl = kDefaultBrokerAcl;
  // The address of the test process's loopback block to listen on: far from the low ones
  // the display tests take; another one for a second broker beside this one.
  int loopback = kLoopbackBlockSize;
  // TLS clients must then show a certificate of caFile() (clientCertFile()).
  bool requireClientCertificate = false;
  // Lines appended to the configuration.
  std::string extraConfig{};
};

// Debian's mosquitto broker for one test or test suite, on an address of the test process's
// own loopback block, so that test processes side by side never meet: plain MQTT on 1883, TLS
// on 8883 with a certificate for the address from a CA made for this broker. Its folder holds
// the configuration, password, ACL, certificates and log, and goes with the object; the broker
// is stopped with it, and killed when the thread that started it ends: make and restart it on
// the test's own thread. Starting fails with an exception that tells what mosquitto said.
class MosquittoBroker {
 public:
  explicit MosquittoBroker(BrokerOptions options = {})
      : m_options(std::move(options)), m_host(Loopback(m_options.loopback)) {
    if (m_folder.Path().empty()) throw std::runtime_error("no temporary folder for mosquitto");
    MakeCertificates();
    MakePasswords();
    WriteBytes(File("acl"), m_options.acl);
    WriteBytes(File("mosquitto.conf"), Configuration());
    Start();
  }
  ~MosquittoBroker() { Stop(); }
  MosquittoBroker(const MosquittoBroker&) = delete;
  MosquittoBroker& operator=(const MosquittoBroker&) = delete;

  const std::string& host() const { return m_host; }
  int port() const { return 1883; }
  int tlsPort() const { return 8883; }
  std::string caFile() const { return File("ca.pem"); }
  // A CA of the same name that signed nothing here: a client trusting it must refuse the
  // broker on the signature, not on a name it did not find.
  std::string wrongCaFile() const { return File("wrong-ca.pem"); }
  std::string clientCertFile() const { return File("client.pem"); }
  std::string clientKeyFile() const { return File("client.key"); }
  const std::string& folder() const { return m_folder.Path(); }
  // The password the options give `user`; empty for a user they do not name.
  std::string password(const std::string& user) const {
    for (const auto& [name, secret] : m_options.users) {
      if (name == user) return secret;
    }
    return {};
  }
  // mosquitto's log so far (connections, refusals, denied publishes).
  std::string Log() const { return ReadBytes(File("mosquitto.log")); }
  pid_t pid() const { return m_pid; }

  // Starts the broker again on the same address and ports with the same files, when it does
  // not run; returns once both ports take connections.
  void Start() {
    if (Running()) return;
    m_pid =
        SpawnProgram({"/usr/sbin/mosquitto", "-c", File("mosquitto.conf")}, File("mosquitto.out"));
    if (m_pid < 0) throw std::runtime_error("mosquitto could not be started");
    WaitUntilListening();
  }

  // SIGTERM, and SIGKILL after 2 s. mosquitto binds its listeners with SO_REUSEADDR, so a
  // Start right after takes the same ports again.
  void Stop() {
    EndChild(m_pid, std::chrono::seconds(2));
    m_pid = -1;
  }

  // False once the broker was stopped or ended by itself.
  bool Running() {
    if (m_pid > 0 && WaitForChild(m_pid, std::chrono::milliseconds(0)) >= 0) m_pid = -1;
    return m_pid > 0;
  }

 private:
  std::string File(const std::string& name) const { return m_folder.File(name); }

  void WaitUntilListening() {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (std::chrono::steady_clock::now() < deadline && Running()) {
      if (AcceptsTcp(m_host, port(), std::chrono::milliseconds(200)) &&
          AcceptsTcp(m_host, tlsPort(), std::chrono::milliseconds(200))) {
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const bool ended = !Running();
    Stop();
    throw std::runtime_error("mosquitto " + std::string(ended ? "ended" : "does not listen") +
                             " on " + m_host + ":\n" + Tail(ReadBytes(File("mosquitto.out"))) +
                             Tail(Log()));
  }

  // The end of a log, which says why; a broker that logged for long is not shown whole.
  static std::string Tail(const std::string& text) {
    constexpr size_t kShown = 4096;
    return text.size() <= kShown ? text : text.substr(text.size() - kShown);
  }

  void Run(const std::vector<std::string>& argv) {
    const std::string output = File("tools.out");
    if (RunProgram(argv, output, std::chrono::seconds(30)) != 0) {
      throw std::runtime_error(argv[0] + " " + argv[1] + " failed:\n" + Tail(ReadBytes(output)));
    }
  }

  void MakeCertificate(const std::string& name, const std::string& subject) {
    Run({"/usr/bin/openssl", "req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
         "-nodes", "-subj", subject, "-keyout", File(name + ".key"), "-out", File(name + ".csr")});
    Run({"/usr/bin/openssl", "x509", "-req", "-in", File(name + ".csr"), "-CA", caFile(), "-CAkey",
         File("ca.key"), "-set_serial", std::to_string(m_serial++), "-days", "3650", "-extfile",
         File(name + ".ext"), "-out", File(name + ".pem")});
  }

  void MakeCertificates() {
    for (const char* ca : {"ca", "wrong-ca"}) {
      Run({"/usr/bin/openssl",
           "req",
           "-x509",
           "-newkey",
           "ec",
           "-pkeyopt",
           "ec_paramgen_curve:prime256v1",
           "-nodes",
           "-days",
           "3650",
           "-subj",
           "/CN=Tarnex test CA",
           "-addext",
           "basicConstraints=critical,CA:TRUE",
           "-addext",
           "keyUsage=critical,keyCertSign,cRLSign",
           "-keyout",
           File(std::string(ca) + ".key"),
           "-out",
           File(std::string(ca) + ".pem")});
    }
    WriteBytes(File("server.ext"),
               "subjectAltName=IP:" + m_host + "\nextendedKeyUsage=serverAuth\n");
    MakeCertificate("server", "/CN=" + m_host);
    WriteBytes(File("client.ext"), "extendedKeyUsage=clientAuth\n");
    MakeCertificate("client", "/CN=tarnex-test-client");
  }

  void MakePasswords() {
    bool first = true;
    for (const auto& [name, secret] : m_options.users) {
      std::vector<std::string> argv{"/usr/bin/mosquitto_passwd", "-b"};
      if (first) argv.push_back("-c");
      argv.insert(argv.end(), {File("passwd"), name, secret});
      Run(argv);
      first = false;
    }
  }

  std::string Configuration() const {
    std::string config =
        "persistence false\n"
        "allow_anonymous false\n"
        "acl_file " +
        File("acl") +
        "\n"
        // The agent's tests publish a whole fleet at once: no message may wait for another's
        // acknowledgement or be dropped from a queue.
        "max_inflight_messages 0\n"
        "max_queued_messages 100000\n"
        "set_tcp_nodelay true\n"
        "log_dest file " +
        File("mosquitto.log") + "\n";
    if (!m_options.users.empty()) config += "password_file " + File("passwd") + "\n";
    // Started as root, mosquitto would become user mosquitto and then fail to read its files
    // in a folder only root may enter.
    if (::geteuid() == 0) config += "user root\n";
    config += "listener " + std::to_string(port()) + " " + m_host + "\n";
    config += "listener " + std::to_string(tlsPort()) + " " + m_host + "\n";
    config += "cafile " + caFile() + "\ncertfile " + File("server.pem") + "\nkeyfile " +
              File("server.key") + "\n";
    if (m_options.requireClientCertificate) config += "require_certificate true\n";
    return config + m_options.extraConfig;
  }

  BrokerOptions m_options;
  std::string m_host;
  ScratchFolder m_folder;
  int m_serial = 1;
  pid_t m_pid = -1;
};

}  // namespace tarnex::testing
