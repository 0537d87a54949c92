#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarnex {

inline constexpr int kMaxDisplays = 1000;
inline constexpr unsigned short kDisplayPort = 9761;
inline constexpr int kConnectTimeoutMs = 1000;
inline constexpr int kReceiveTimeoutMs = 3000;

// A display's identity for the whole run. Rows of the display table move when a display is
// deleted or merged, while jobs that were aimed at a display wait; an id is never reused, so a
// job that names one reaches that display or, once it is gone, none. Ids live at run time
// only: they are neither stored nor part of a record.
using DisplayId = std::uint32_t;
inline constexpr DisplayId kNoDisplay = 0;

// The per-display link state of the document that the network link reads and writes. The
// document derives from it, so the fields keep their document names.
struct LinkState {
  LinkState() { m_docConnectState.fill(-1); }

  int m_docCurrentDisplay = 0;
  // -1 never tried, 0 last connect failed or the link was given up, 1 connected.
  std::array<int, kMaxDisplays> m_docConnectState;
  // The id of the display in each row; kNoDisplay for a row that holds none yet.
  std::array<DisplayId, kMaxDisplays> m_docDisplayIds{};

  static bool ValidIndex(int index) { return index >= 0 && index < kMaxDisplays; }

  // The row's id, given one first when it has none (a row filled from the files).
  DisplayId EnsureId(int row) {
    if (!ValidIndex(row)) return kNoDisplay;
    DisplayId& id = m_docDisplayIds[static_cast<size_t>(row)];
    if (id == kNoDisplay) id = ++m_lastDisplayId;
    return id;
  }
  // A fresh id for a display entering the table.
  DisplayId NewId() { return ++m_lastDisplayId; }
  // The row that holds the display now, or -1 when it left the table.
  int RowOf(DisplayId id) const {
    if (id == kNoDisplay) return -1;
    for (size_t row = 0; row < m_docDisplayIds.size(); ++row) {
      if (m_docDisplayIds[row] == id) return static_cast<int>(row);
    }
    return -1;
  }

 private:
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
};

}  // namespace tarnex
