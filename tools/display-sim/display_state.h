#pragma once

#include <map>
#include <string>
#include <string_view>

#include "display-sim/message_board.h"

namespace tarnex::sim {

// Everything one display remembers: the data of every setting, keyed by letters ("kd") or by
// letters and table index ("fd 03"), and its on-screen message. Not thread-safe; the owner
// serialises access.
class DisplayState {
 public:
  DisplayState();

  // Stored data ("01", "1a2b"), or empty for an unknown key.
  std::string Value(std::string_view key) const;
  // Replaces the data of an existing key; unknown keys are ignored.
  void Store(std::string_view key, std::string data);

  void SetKind(int kind);
  void SetSignal(bool present);
  void SetFanOk(bool ok);
  void SetLampHours(int hours);
  void SetLampHours2(int hours);

  MessageBoard& Message() { return message_; }
  const MessageBoard& Message() const { return message_; }

 private:
  std::map<std::string, std::string, std::less<>> values_;
  MessageBoard message_;
};

// "fd" and 3 -> "fd 03"; letters alone for settings without a table.
std::string SettingKey(std::string_view letters, int index = -1);

}  // namespace tarnex::sim
