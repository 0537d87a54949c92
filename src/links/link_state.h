#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tarnex {

inline constexpr int kMaxDisplays = 1000;
inline constexpr unsigned short kDisplayPort = 9761;
inline constexpr int kConnectTimeoutMs = 1000;
inline constexpr int kReceiveTimeoutMs = 3000;
inline constexpr unsigned short kPjlinkPort = 4352;

// How the console talks to a display: its own protocol, or PJLink class 1.
enum class LinkKind { kNative, kPjlink };

// Where and how a display's link is opened: its kind, its port, and for PJLink the password
// its sessions authenticate with (empty for none).
struct LinkEndpoint {
  LinkKind kind = LinkKind::kNative;
  unsigned short port = kDisplayPort;
  std::string password;
};

// A display's identity for the whole run. Rows of the display table move when a display is
// deleted or merged, while jobs that were aimed at a display wait; an id is never reused, so a
// job that names one reaches that display or, once it is gone, none. Ids live at run time
// only: they are neither stored nor part of a record.
using DisplayId = std::uint32_t;
inline constexpr DisplayId kNoDisplay = 0;

// The per-display link state of the document that the network link reads and writes. The
// document derives from it, so the fields keep their document names.
//
// The ids of the rows are kept with an index from id to row: jobs over a whole fleet look each
// member up by its id at every step, and a scan of the table per member made them grow with the
// square of the fleet. Rows get, lose and move their ids only through the calls below, which
// keep the index in step.
struct LinkState {
  LinkState() { m_docConnectState.fill(-1); }

  int m_docCurrentDisplay = 0;
  // -1 never tried, 0 last connect failed or the link was given up, 1 connected.
  std::array<int, kMaxDisplays> m_docConnectState;

  static bool ValidIndex(int index) { return index >= 0 && index < kMaxDisplays; }

  // The id of the display in the row; kNoDisplay for a row that holds none yet.
  DisplayId IdAt(int row) const {
    return ValidIndex(row) ? m_docDisplayIds[static_cast<size_t>(row)] : kNoDisplay;
  }
  // The row's id, given one first when it has none (a row filled from the files).
  DisplayId EnsureId(int row) {
    if (!ValidIndex(row)) return kNoDisplay;
    if (IdAt(row) == kNoDisplay) PlaceId(row, ++m_lastDisplayId);
    return IdAt(row);
  }
  // A display enters the table in the row: it gets a fresh id, whatever the row held before.
  DisplayId GiveNewId(int row) {
    if (!ValidIndex(row)) return kNoDisplay;
    PlaceId(row, ++m_lastDisplayId);
    return IdAt(row);
  }
  // The row that holds the display now, or -1 when it left the table.
  int RowOf(DisplayId id) const {
    const auto found = m_rowOfId.find(id);
    return found == m_rowOfId.end() ? -1 : found->second;
  }

 protected:
  // The display in `row` leaves the first `count` rows: the link states and ids of the rows
  // after it move up one, and the last row is left empty.
  void CloseUpLinkRow(int row, int count);

 private:
  void PlaceId(int row, DisplayId id);

  // The id of the display in each row; kNoDisplay for a row that holds none yet.
  std::array<DisplayId, kMaxDisplays> m_docDisplayIds{};
  std::unordered_map<DisplayId, int> m_rowOfId;
  DisplayId m_lastDisplayId = kNoDisplay;
};

// What the network link needs from the rest of the console: the display addresses of the
// display table and the history report. The document and the view implement it.
class NetworkLinkHost {
 public:
  virtual ~NetworkLinkHost() = default;

  virtual std::string DisplayAddress(int index) const = 0;
  virtual void SetDisplayAddress(int index, const std::string& address) = 0;
  // One history line ("Connected to Monitor", ...) for the display the link worked on. The
  // address is passed rather than taken from the current display, because a reconnect runs
  // on the supervision thread while the current display may be another one.
  virtual void LinkHistory(std::string_view address, std::string_view operation) = 0;
  // How the display in `index` is reached; native unless the host knows better.
  virtual LinkEndpoint EndpointAt(int /*index*/) const { return {}; }
};

}  // namespace tarnex
