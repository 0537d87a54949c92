#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

#include "display-sim/command_log.h"
#include "display-sim/wake_signal.h"

namespace tarnex::sim {

// A MAC address for a display that was given none: 02 (locally administered), 54, then the
// four octets of its address, as twelve upper-case hexadecimal digits.
std::string DerivedMac(const std::string& address);

// The displays' answers to the search datagram. It listens on the wildcard address (a
// datagram to 127.255.255.255 reaches no socket bound to 127.0.0.N) and answers "SEARCHQXMNT"
// for each display from a socket bound to that display's address, the answers spread over
// `spread` as a real fleet's are. Only searches from loopback are answered. Every datagram,
// received or sent, goes to the log.
class DiscoveryResponder {
 public:
  // Throws std::system_error when the port cannot be bound.
  DiscoveryResponder(uint16_t port, CommandLog& log,
                     std::chrono::milliseconds spread = std::chrono::milliseconds(100));
  ~DiscoveryResponder();
  DiscoveryResponder(const DiscoveryResponder&) = delete;
  DiscoveryResponder& operator=(const DiscoveryResponder&) = delete;

  // A display that answers, by its address and MAC (twelve hexadecimal digits). Any thread.
  void Add(const std::string& address, const std::string& mac);
  // From now on the display at `address` answers from `newAddress`, with its own MAC.
  void Move(const std::string& address, const std::string& newAddress);

  // The reply a display sends: four words, the MAC, a text, then its address, mask, gateway
  // and two name servers as eight hexadecimal digits each.
  static std::string Reply(const std::string& address, const std::string& mac);

 private:
  void Run();
  void Answer(uint32_t sender, uint16_t senderPort);

  CommandLog& log_;
  const std::chrono::milliseconds spread_;
  int fd_ = -1;
  WakeSignal stop_;
  std::mutex mutex_;
  std::map<std::string, std::pair<std::string, std::string>> displays_;  // address -> from, MAC
  std::thread thread_;                                                   // last
};

}  // namespace tarnex::sim
