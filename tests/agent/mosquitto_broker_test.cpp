#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "support/forked_child.h"
#include "support/mosquitto_broker.h"

namespace tarnex::testing {
namespace {

using namespace std::chrono_literals;

// Just enough MQTT 3.1.1 to ask the broker what a user may do: connect, leave retained
// messages, and list the retained messages the broker hands this user on a subscription.
class MqttProbe {
 public:
  explicit MqttProbe(const MosquittoBroker& broker)
      : m_fd(ConnectTcp(broker.host(), broker.port(), 1s)) {}
  ~MqttProbe() {
    if (m_fd >= 0) ::close(m_fd);
  }
  MqttProbe(const MqttProbe&) = delete;
  MqttProbe& operator=(const MqttProbe&) = delete;

  // The CONNACK's return code (0 accepted), or -1 without one. No user is an anonymous client.
  int Connect(const std::string& user, const std::string& password) {
    const char flags = user.empty() ? '\x02' : '\xC2';  // clean session, user, password
    std::string body = Text("MQTT") + '\x04' + flags + std::string("\x00\x3C", 2) + Text("probe");
    if (!user.empty()) body += Text(user) + Text(password);
    const auto [type, reply] = Exchange('\x10', body);
    return type == 0x20 && reply.size() == 2 ? static_cast<unsigned char>(reply[1]) : -1;
  }

  // QoS 0: nothing tells a refusal but its absence later. The ping's answer comes once the
  // broker has dealt with the publish.
  void PublishRetained(const std::string& topic) {
    Send('\x31', Text(topic) + "payload");
    Exchange('\xC0', "");
  }

  // The topics of the retained messages under `filter` this user is given, sorted. The
  // broker hands them over before it answers a ping sent after the subscription.
  std::vector<std::string> RetainedTopics(const std::string& filter) {
    Send('\x82', std::string("\x00\x01", 2) + Text(filter) + '\x00');
    Send('\xC0', "");
    std::vector<std::string> topics;
    for (int packets = 0; packets < 100; ++packets) {
      const auto [type, body] = Receive();
      if (type < 0 || type == 0xD0) break;
      const size_t length = body.size() < 2 ? 0
                                            : static_cast<unsigned char>(body[0]) << 8 |
                                                  static_cast<unsigned char>(body[1]);
      if ((type & 0xF0) == 0x30 && length + 2 <= body.size()) {
        topics.push_back(body.substr(2, length));
      }
    }
    std::sort(topics.begin(), topics.end());
    return topics;
  }

 private:
  static std::string Text(const std::string& text) {
    return std::string{static_cast<char>(text.size() >> 8), static_cast<char>(text.size())} + text;
  }

  bool Send(char type, const std::string& body) {
    std::string packet(1, type);
    for (size_t left = body.size();; left >>= 7) {
      packet += static_cast<char>((left & 0x7F) | (left > 0x7F ? 0x80 : 0));
      if (left <= 0x7F) break;
    }
    packet += body;
    return ::send(m_fd, packet.data(), packet.size(), MSG_NOSIGNAL) ==
           static_cast<ssize_t>(packet.size());
  }

  std::pair<int, std::string> Exchange(char type, const std::string& body) {
    if (!Send(type, body)) return {-1, {}};
    return Receive();
  }

  // One packet within 3 s: its type byte and body; -1 for none, a cut one or one longer than
  // any answer the probe asks for.
  std::pair<int, std::string> Receive() {
    const auto deadline = std::chrono::steady_clock::now() + 3s;
    std::string header;
    size_t length = 0;
    if (!Read(header, 1, deadline)) return {-1, {}};
    for (int shift = 0; shift < 28; shift += 7) {
      if (!Read(header, 1, deadline)) return {-1, {}};
      length |= static_cast<size_t>(header.back() & 0x7F) << shift;
      if ((header.back() & 0x80) == 0) break;
    }
    std::string body;
    if (length > 4096 || !Read(body, length, deadline)) return {-1, {}};
    return {static_cast<unsigned char>(header[0]), body};
  }

  bool Read(std::string& into, size_t count, std::chrono::steady_clock::time_point deadline) {
    for (size_t want = into.size() + count; into.size() < want;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd entry{m_fd, POLLIN, 0};
      char buffer[512];
      if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) != 1) return false;
      const ssize_t got = ::recv(m_fd, buffer, std::min(sizeof buffer, want - into.size()), 0);
      if (got <= 0) return false;
      into.append(buffer, static_cast<size_t>(got));
    }
    return true;
  }

  int m_fd;
};

TEST(MosquittoBrokerTest, OnlyItsUsersGetInAndEachWithItsOwnPassword) {
  MosquittoBroker broker;
  EXPECT_TRUE(AcceptsTcp(broker.host(), broker.port(), 1s));
  struct Case {
    std::string user, password;
    bool accepted;
  };
  for (const Case& c : std::vector<Case>{{"agent", broker.password("agent"), true},
                                         {"operator", broker.password("operator"), true},
                                         {"other", broker.password("other"), true},
                                         {"agent", broker.password("operator"), false},
                                         {"agent", "", false},
                                         {"nobody", "agent-secret", false},
                                         {"", "", false}}) {
    MqttProbe probe(broker);
    const int code = probe.Connect(c.user, c.password);
    EXPECT_GE(code, 0) << c.user;
    EXPECT_EQ(code == 0, c.accepted) << c.user << "/" << c.password << " got " << code;
  }
}

TEST(MosquittoBrokerTest, TheDefaultAclKeepsEachUserToItsSite) {
  MosquittoBroker broker;
  const auto publish = [&broker](const std::string& user, const std::vector<std::string>& topics) {
    MqttProbe probe(broker);
    ASSERT_EQ(probe.Connect(user, broker.password(user)), 0) << user;
    for (const std::string& topic : topics) probe.PublishRetained(topic);
  };
  publish("agent", {"tarnex/site-a/fleet", "homeassistant/switch/x/config"});
  publish("operator", {"tarnex/site-a/agent", "tarnex/site-a/command",
                       "tarnex/site-a/display/d1/set/power", "tarnex/site-a/display/d1/state"});
  publish("other", {"tarnex/site-b/fleet", "tarnex/site-a/display/d1/set/power2"});
  const auto seen = [&broker](const std::string& user) {
    MqttProbe probe(broker);
    EXPECT_EQ(probe.Connect(user, broker.password(user)), 0) << user;
    return probe.RetainedTopics("#");
  };
  const std::vector<std::string> siteA{"tarnex/site-a/command",
                                       "tarnex/site-a/display/d1/set/power", "tarnex/site-a/fleet"};
  std::vector<std::string> agent = siteA;
  agent.insert(agent.begin(), "homeassistant/switch/x/config");
  EXPECT_EQ(seen("agent"), agent);
  EXPECT_EQ(seen("operator"), siteA);
  EXPECT_EQ(seen("other"), std::vector<std::string>{"tarnex/site-b/fleet"});
}

// openssl s_client's exit status for a handshake with the broker's TLS port (0: the broker
// was trusted and the handshake done), and what it printed. s_client ends at the end of its
// input, once the handshake is over.
std::pair<int, std::string> Handshake(const MosquittoBroker& broker,
                                      const std::vector<std::string>& options) {
  static int run = 0;
  const std::string output = broker.folder() + "/s_client-" + std::to_string(++run) + ".out";
  std::vector<std::string> argv{"/usr/bin/openssl", "s_client", "-connect",
                                broker.host() + ":" + std::to_string(broker.tlsPort()),
                                "-verify_return_error"};
  argv.insert(argv.end(), options.begin(), options.end());
  const int status = RunProgram(argv, output, 15s);
  EXPECT_GE(status, 0) << "s_client did not end";
  return {status, ReadBytes(output)};
}

TEST(MosquittoBrokerTest, TlsPortShowsACertificateForItsAddressFromItsCa) {
  MosquittoBroker broker;
  struct Case {
    std::string caFile, address;
    bool trusted;
  };
  for (const Case& c : std::vector<Case>{{broker.caFile(), broker.host(), true},
                                         {broker.wrongCaFile(), broker.host(), false},
                                         {broker.caFile(), "127.0.0.1", false}}) {
    const auto [status, said] = Handshake(broker, {"-CAfile", c.caFile, "-verify_ip", c.address});
    EXPECT_EQ(status == 0, c.trusted) << c.caFile << " " << c.address << said;
  }
}

TEST(MosquittoBrokerTest, ABrokerThatAsksForAClientCertificateTakesTheFixturesOwn) {
  // Another address of the block, as a second broker beside a first one would take.
  MosquittoBroker broker({.loopback = kLoopbackBlockSize - 1, .requireClientCertificate = true});
  // TLS 1.2: there a client without a certificate is refused in the handshake itself; under
  // TLS 1.3 the refusal may come after s_client has ended.
  const std::vector<std::string> bare{"-tls1_2", "-CAfile", broker.caFile()};
  std::vector<std::string> shown = bare;
  shown.insert(shown.end(), {"-cert", broker.clientCertFile(), "-key", broker.clientKeyFile()});
  const auto [withCertificate, said] = Handshake(broker, shown);
  EXPECT_EQ(withCertificate, 0) << said;
  EXPECT_NE(Handshake(broker, bare).first, 0);
}

TEST(MosquittoBrokerTest, RestartsOnItsPortsAtOnceAndLeavesNothingBehind) {
  pid_t pid = -1;
  std::string folder;
  {
    MosquittoBroker broker;
    folder = broker.folder();
    {
      // A client connected at the stop leaves the broker's side of it waiting out TIME_WAIT.
      MqttProbe connected(broker);
      ASSERT_EQ(connected.Connect("agent", broker.password("agent")), 0);
      broker.Stop();
    }
    EXPECT_FALSE(broker.Running());
    EXPECT_FALSE(AcceptsTcp(broker.host(), broker.port(), 200ms));
    broker.Start();
    EXPECT_TRUE(broker.Running());
    MqttProbe again(broker);
    EXPECT_EQ(again.Connect("agent", broker.password("agent")), 0);
    pid = broker.pid();
  }
  ASSERT_GT(pid, 0);
  EXPECT_EQ(::kill(pid, 0), -1);
  EXPECT_EQ(errno, ESRCH);
  EXPECT_FALSE(std::filesystem::exists(folder));
}

TEST(MosquittoBrokerTest, TheBrokerEndsWithATestProcessThatIsKilled) {
  ScratchFolder shared;
  {
    ForkedChild child([&shared](ForkedChild& self) {
      MosquittoBroker broker;
      WriteBytes(shared.File("broker"), broker.host() + " " + broker.folder());
      self.Tell();
      self.Heard(30s);  // killed before: no destructor stops the broker
      return 0;
    });
    ASSERT_TRUE(child.Heard(20s));
  }
  std::istringstream note(ReadBytes(shared.File("broker")));
  std::string host, folder;
  note >> host >> folder;
  bool gone = false;
  for (int tries = 0; tries < 100 && !gone; ++tries) {
    gone = !AcceptsTcp(host, 1883, 100ms);
    if (!gone) std::this_thread::sleep_for(50ms);
  }
  EXPECT_TRUE(gone) << host;
  std::filesystem::remove_all(folder);
}

TEST(MosquittoBrokerTest, AFailedStartTellsWhatMosquittoSaid) {
  std::string what;
  try {
    MosquittoBroker broker({.extraConfig = "no_such_option 1\n"});
  } catch (const std::runtime_error& error) {
    what = error.what();
  }
  EXPECT_NE(what.find("no_such_option"), std::string::npos) << what;
}

}  // namespace
}  // namespace tarnex::testing
