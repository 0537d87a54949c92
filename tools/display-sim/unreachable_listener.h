#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarnex::sim {

// A display that is switched off or gone from the network: a connect to it is neither
// accepted nor refused, it times out. On loopback that is a listener that never accepts and
// whose accept queue is full of its own connections, because the kernel then drops every
// further SYN instead of answering it.
class UnreachableListener {
 public:
  // Listens on the address and fills the queue. Throws std::system_error when the address
  // cannot be bound (outside 127.0.0.0/8, or in use) or the queue cannot be filled.
  UnreachableListener(const std::string& address, uint16_t port);
  ~UnreachableListener();
  UnreachableListener(const UnreachableListener&) = delete;
  UnreachableListener& operator=(const UnreachableListener&) = delete;

  uint16_t Port() const { return port_; }
  // Makes it an ordinary listener: the filling connections are closed and taken off the
  // queue. Returns the non-blocking listening descriptor, which the caller owns from then on.
  int Release();

 private:
  void Fill(const std::string& address);
  bool ConnectFiller(const std::string& address);
  int QueueLength() const;
  bool QueueFull() const;
  void CloseAll();

  int listener_ = -1;
  uint16_t port_ = 0;
  std::vector<int> fillers_;
};

}  // namespace tarnex::sim
