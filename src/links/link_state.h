#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tarnex {

inline constexpr int kMaxDisplays = 1000;
inline constexpr unsigned short kDisplayPort = 9761;
inline constexpr int kConnectTimeoutMs = 1000;
inline constexpr int kReceiveTimeoutMs = 3000;

// The per-display link state of the document that the network link reads and writes. The
// document derives from it, so the fields keep their document names.
struct LinkState {
  LinkState() { m_docConnectState.fill(-1); }

  int m_docCurrentDisplay = 0;
  // -1 never tried, 0 last connect failed or the link was given up, 1 connected.
  std::array<int, kMaxDisplays> m_docConnectState;

  static bool ValidIndex(int index) { return index >= 0 && index < kMaxDisplays; }
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
