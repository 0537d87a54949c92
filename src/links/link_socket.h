#pragma once

#include <chrono>
#include <string>

#include "links/link_state.h"
#include "platform/socket_api.h"

namespace tarnex {

// A PJLink display's session. Its socket comes and goes inside exchanges (an idle session is
// closed and the next exchange opens a new one), so it is held here rather than as the link's
// descriptor; only the holder of the channel's turn touches it.
struct PjlinkSession {
  std::string address;
  unsigned short port = kPjlinkPort;
  std::string password;
  // Closed after this long without an exchange: some projectors lock up or drop a session
  // that is kept open, and a fresh session costs a connect and a greeting.
  std::chrono::milliseconds idleLimit{20'000};
  int receiveTimeoutMs = kReceiveTimeoutMs;  // the first socket's, for every later one
  bool greeted = false;                      // the greeting of the present socket was read
  bool authenticate = false;                 // it asked for the hash
  std::string random;                        // the greeting's random number
  bool hashSent = false;                     // the first command of the session carried the hash
  bool passwordUnused = false;  // traced once: a password is set but the display wants none
  std::chrono::steady_clock::time_point lastActivity{};
};

// One display's link as its channel holds it: a native display's connected socket, or a
// PJLink display's endpoint and present session.
struct LinkSocket {
  int fd = kNoSocket;  // PJLink: the present session's socket, kNoSocket between sessions
  LinkKind kind = LinkKind::kNative;
  PjlinkSession pjlink;

  bool Pjlink() const { return kind == LinkKind::kPjlink; }
};

}  // namespace tarnex
