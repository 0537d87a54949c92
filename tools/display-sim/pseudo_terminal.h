#pragma once

#include <string>

namespace tarnex::sim {

// A pseudo-terminal standing in for a serial line: the simulator reads and writes the master
// side, the console opens the device path. Both sides start in raw mode, so nothing the
// console writes is echoed back to it and no byte is translated.
class PseudoTerminal {
 public:
  PseudoTerminal();  // throws std::system_error when no pseudo-terminal can be made
  ~PseudoTerminal();
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  // Non-blocking.
  int MasterFd() const { return master_; }
  const std::string& DevicePath() const { return path_; }

 private:
  int master_ = -1;
  // Held open so that the master does not see a hang-up while no console has the line open.
  int device_ = -1;
  std::string path_;
};

// A symbolic link to the device, so that the console finds the line under a fixed name. A
// stale link of that name is replaced; anything else there is left alone (an error). The link
// is removed again when this goes, if it still points to the device.
class DeviceLink {
 public:
  DeviceLink(std::string linkPath, std::string target);  // throws std::system_error
  ~DeviceLink();
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  const std::string& Path() const { return link_; }

 private:
  std::string link_;
  std::string target_;
};

}  // namespace tarnex::sim
