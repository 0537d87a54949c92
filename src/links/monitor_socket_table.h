#pragma once

#include <array>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "links/link_state.h"
#include "platform/socket_api.h"

namespace tarnex {

// One TCP socket per display index, each in its own channel. An exchange takes the channel's
// turn for its whole length, so two exchanges with one display never interleave, while
// exchanges with different displays run side by side. A socket is shared by the table and the
// exchanges using it: closing a link empties the table entry at once, and the descriptor is
// closed when the last exchange on it ends, so a descriptor number is never reused under an
// exchange that still polls it.
class MonitorSocketTable {
 public:
  explicit MonitorSocketTable(SocketApi& api) : m_api(api) {}
  MonitorSocketTable(const MonitorSocketTable&) = delete;
  MonitorSocketTable& operator=(const MonitorSocketTable&) = delete;

  // The display's socket for one exchange, with the channel's turn held until the lease
  // goes. The turn is a flag rather than a held mutex: a group send holds the turns of a
  // thousand displays at once.
  class Lease {
   public:
    Lease() = default;
    Lease(Lease&& other) noexcept;
    Lease& operator=(Lease&& other) noexcept;
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;
    ~Lease();

    int Fd() const { return m_socket ? *m_socket : kNoSocket; }

   private:
    friend class MonitorSocketTable;
    void Release();

    MonitorSocketTable* m_table = nullptr;
    int m_index = -1;
    std::shared_ptr<const int> m_socket;
  };

  // Waits for the channel's turn. The lease's descriptor is kNoSocket when the display has no
  // link.
  Lease Acquire(int index);

  // The descriptor of the display's socket, or kNoSocket.
  int Get(int index) const;
  // Puts a connected descriptor in the display's entry; the one it replaces is closed.
  void Set(int index, int fd);
  // Closes the display's link.
  void Close(int index) { Set(index, kNoSocket); }
  // The socket of `from` becomes the socket of `to`, and `from` is left without one.
  void Move(int from, int to);

 private:
  struct Channel {
    mutable std::mutex entry;  // guards the fields below, never held across a wait for a display
    std::condition_variable turnFree;
    bool taken = false;
    std::shared_ptr<const int> socket;
  };

  void ReleaseTurn(int index);

  std::shared_ptr<const int> Wrap(int fd);
  std::shared_ptr<const int> Exchange(int index, std::shared_ptr<const int> socket);

  SocketApi& m_api;
  std::array<Channel, kMaxDisplays> m_channels;
};

}  // namespace tarnex
