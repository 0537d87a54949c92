#pragma once

#include <string>
#include <string_view>

namespace tarnex {

// Lets one copy of the console run per executable file, and lets only one refused copy at a
// time tell the operator so.
//
// Two advisory locks (flock) on files in the runtime folder, both named after the executable's
// path: the instance lock, held by the running copy for its whole life, and the message lock,
// held by a refused copy while its message box is open. The kernel drops a lock when its holder
// ends, however it ends, so a copy that crashed never blocks the next start.
class SingleInstance {
 public:
  enum class Outcome {
    kFirst,         // this process holds the instance lock now
    kTellOperator,  // another copy runs; this one holds the message lock and shows the box
    kEndSilently,   // another copy runs and a refused copy is already showing the box
    kError,         // the lock files could not be opened
  };

  // Lock files for the executable at `executablePath`, in `folder`.
  SingleInstance(std::string_view executablePath, std::string folder);
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  Outcome Acquire();
  // The refused copy's message box was closed: another refused copy may show it again.
  void ReleaseMessage();

  const std::string& InstanceLockPath() const { return m_instancePath; }
  const std::string& MessageLockPath() const { return m_messagePath; }

 private:
  std::string m_instancePath;
  std::string m_messagePath;
  int m_instanceFd = -1;
  int m_messageFd = -1;
};

// $XDG_RUNTIME_DIR when it is set, otherwise /tmp.
std::string RuntimeLockFolder();
// The absolute path of the running executable; empty when it cannot be found.
std::string CurrentExecutablePath();

}  // namespace tarnex
