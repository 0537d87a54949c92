#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/open_file_limit.h"
#include "support/mosquitto_broker.h"
#include "support/mqtt_probe.h"

namespace tarnex::testing {
namespace {

using namespace std::chrono_literals;

// A message published by one client reaches another subscribed to it.
bool RoundTrip(MqttProbe& from, MqttProbe& to, const std::string& topic) {
  if (!to.WaitConnected() || !from.WaitConnected()) return false;
  from.Publish(topic, "hello");
  return to.Eventually([&] { return to.LastLocked(topic) == "hello"; });
}

TEST(MqttClient, TalksTlsToABrokerItsCaVouchesFor) {
  MosquittoBroker broker;
  const MqttProbe::Login tls{.host = broker.host(),
                             .port = broker.tlsPort(),
                             .user = "agent",
                             .password = broker.password("agent"),
                             .caFile = broker.caFile()};
  MqttProbe sender(tls);
  MqttProbe receiver(tls, {"tarnex/site-a/#"});
  EXPECT_TRUE(RoundTrip(sender, receiver, "tarnex/site-a/event"));
}

// Beside a thousand display connections the broker's socket gets a number past select()'s
// reach; the client must not care.
TEST(MqttClient, WorksOnASocketNumberedPast1024) {
  RaiseOpenFileLimit();
  std::vector<int> held;
  for (int i = 0; i < 1100; ++i) {
    const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (fd < 0) break;
    held.push_back(fd);
  }
  ASSERT_GT(held.back(), 1024) << "the open-file limit is too low for this test";
  MosquittoBroker broker;
  const MqttProbe::Login login{.host = broker.host(),
                               .port = broker.port(),
                               .user = "agent",
                               .password = broker.password("agent")};
  {
    MqttProbe sender(login);
    MqttProbe receiver(login, {"tarnex/site-a/#"});
    EXPECT_TRUE(RoundTrip(sender, receiver, "tarnex/site-a/event"));
  }
  for (const int fd : held) ::close(fd);
}

}  // namespace
}  // namespace tarnex::testing
