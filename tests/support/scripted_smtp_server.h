#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "support/loopback_block.h"

namespace tarnex::testing {

// A mail server played line by line: the greeting (none when empty), then one answer per
// command, in order; silent once the answers run out. The answer kClose hangs up instead. After
// an answer that starts with 354 the mail's text counts as one command, ended by its dot line.
class ScriptedSmtpServer {
 public:
  static constexpr const char* kClose = "<close>";

  ScriptedSmtpServer(std::string greeting, std::vector<std::string> answers) {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, Loopback(1).c_str(), &address.sin_addr);
    ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::listen(m_listener, 1);
    socklen_t length = sizeof address;
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_server = Loopback(1) + ":" + std::to_string(ntohs(address.sin_port));
    m_thread = std::thread([this, greeting, answers] { Serve(greeting, answers); });
  }
  ~ScriptedSmtpServer() {
    m_done = true;
    m_thread.join();
    ::close(m_listener);
  }
  const std::string& Server() const { return m_server; }
  // How many bytes the client sent so far.
  size_t Received() const { return m_received.load(); }

 private:
  void Serve(const std::string& greeting, const std::vector<std::string>& answers) {
    pollfd wait{m_listener, POLLIN, 0};
    while (!m_done && ::poll(&wait, 1, 50) == 0) {
    }
    if (m_done) return;
    const int client = ::accept(m_listener, nullptr, nullptr);
    if (!greeting.empty()) Write(client, greeting);
    std::string received;
    size_t next = 0;
    bool inText = false;
    while (!m_done) {
      pollfd read{client, POLLIN, 0};
      if (::poll(&read, 1, 50) <= 0) continue;
      char chunk[512];
      const ssize_t n = ::recv(client, chunk, sizeof chunk, 0);
      if (n <= 0) break;
      m_received += static_cast<size_t>(n);
      received.append(chunk, static_cast<size_t>(n));
      bool hangUp = false;
      for (size_t end; !hangUp && (end = received.find("\r\n")) != std::string::npos;) {
        const bool dot = received.compare(0, end, ".") == 0;
        received.erase(0, end + 2);
        if (inText && !dot) continue;
        inText = false;
        if (next >= answers.size()) continue;
        hangUp = answers[next] == kClose;
        if (!hangUp) Write(client, answers[next]);
        inText = answers[next].starts_with("354");
        ++next;
      }
      if (hangUp) break;
    }
    ::close(client);
  }
  static void Write(int fd, const std::string& text) {
    [[maybe_unused]] const ssize_t n = ::send(fd, text.data(), text.size(), MSG_NOSIGNAL);
  }

  int m_listener = -1;
  std::string m_server;
  std::atomic<bool> m_done{false};
  std::atomic<size_t> m_received{0};
  std::thread m_thread;
};

}  // namespace tarnex::testing
