#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "links/link_socket.h"
#include "links/link_state.h"
#include "platform/socket_api.h"

namespace tarnex {

// One TCP socket per display, each in its own channel, named by the display's id: a row that
// moves in the display table takes nothing with it, and an exchange that holds a channel keeps
// talking to the display it was aimed at. An exchange takes the channel's turn for its whole
// length, so two exchanges with one display never interleave, while exchanges with different
// displays run side by side. A socket is shared by the table and the exchanges using it:
// closing a link empties the table entry at once, and the descriptor is closed when the last
// exchange on it ends, so a descriptor number is never reused under an exchange that still
// polls it.
class MonitorSocketTable {
 public:
  explicit MonitorSocketTable(SocketApi& api) : m_api(api) {}
  MonitorSocketTable(const MonitorSocketTable&) = delete;
  MonitorSocketTable& operator=(const MonitorSocketTable&) = delete;

 private:
  struct Channel {
    mutable std::mutex entry;  // guards the fields below, never held across a wait for a display
    std::condition_variable turnFree;
    bool taken = false;
    int waiting = 0;  // exchanges waiting for the turn
    std::shared_ptr<LinkSocket> socket;
  };

 public:
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

    int Fd() const { return m_socket ? m_socket->fd : kNoSocket; }
    // The link, none when the display has none. A PJLink link's session is the lease
    // holder's to open and close.
    LinkSocket* Link() const { return m_socket.get(); }
    bool Linked() const { return m_socket != nullptr; }
    // True while another exchange waits for this channel's turn: work that holds many
    // channels gives the turn back between two of its exchanges.
    bool Wanted() const;
    bool Held() const { return m_channel != nullptr; }

   private:
    friend class MonitorSocketTable;
    void Release();

    std::shared_ptr<Channel> m_channel;
    std::shared_ptr<LinkSocket> m_socket;
  };

  // Waits for the channel's turn. The lease holds no link when the display has none.
  Lease Acquire(DisplayId id);
  // The turn if it is free now; an empty lease (not Held()) when another exchange has it.
  Lease TryAcquire(DisplayId id);

  // The descriptor of a native display's socket, or kNoSocket (also for a PJLink link).
  int Get(DisplayId id) const;
  // Whether the display has a link.
  bool Has(DisplayId id) const;
  // Puts a connected descriptor in the display's entry; the one it replaces is closed.
  void Set(DisplayId id, int fd);
  // The display's link is PJLink, its session connected on `fd`.
  void SetPjlink(DisplayId id, int fd, PjlinkSession session);
  // Closes the display's link.
  void Close(DisplayId id) { Set(id, kNoSocket); }
  // The display left the table: its link is closed and its channel forgotten.
  void Forget(DisplayId id);

 private:
  std::shared_ptr<Channel> ChannelOf(DisplayId id);
  std::shared_ptr<Channel> FindChannel(DisplayId id) const;
  std::shared_ptr<LinkSocket> Wrap(LinkSocket link);
  void Place(DisplayId id, std::shared_ptr<LinkSocket> link);

  SocketApi& m_api;
  mutable std::mutex m_mutex;  // guards the map only
  std::unordered_map<DisplayId, std::shared_ptr<Channel>> m_channels;
};

}  // namespace tarnex
