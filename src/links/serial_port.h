#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <string_view>

#include "links/serial_line_settings.h"
#include "platform/sleeper.h"
#include "platform/ui_host.h"

namespace tarnex {

// The one serial line the displays share, over a terminal device in raw mode.
//
// Threads: every call may come from any thread. One call at a time works on the line (an
// internal lock), and Exchange keeps the line from the first byte written to the last byte
// read, so a reply always reaches the caller that asked for it. Opening and closing never wait
// for a read or write to time out: they interrupt its wait (it gives up, as on a time-out)
// and then take the line, so the window's thread may call them. IsOpen, Settings and
// LastError do not wait for the line at all. A failed open reaches the operator through the
// UiHost, called without the lock held.
class CSerialPort {
 public:
  // What one read holds at most.
  static constexpr size_t kReadBufferSize = 2048;
  // Between writing a command and reading its reply.
  static constexpr std::chrono::milliseconds kReplyPause{100};

  explicit CSerialPort(UiHost& ui);
  ~CSerialPort();
  CSerialPort(const CSerialPort&) = delete;
  CSerialPort& operator=(const CSerialPort&) = delete;

  // Keeps the settings and opens the port with them, closing a port opened before. Input and
  // output queues start empty. On failure the operator is told "fail Port open", the reason
  // is kept for LastError, and every exchange returns the empty text until an open succeeds.
  bool OpenSerialPort(const std::string& portName, int baudrate, int dataBits, int stopCode,
                      int parityCode);
  bool OpenSerialPort(const SerialLineSettings& settings);
  // Discards what is queued and closes the port; traced either way.
  void ClosePort();

  bool IsOpen() const;
  SerialLineSettings Settings() const;
  std::string LastError() const;

  // Writes the whole command within 19200 / rate ms per byte plus a second's grace, after
  // discarding input nobody read (a late answer to an earlier command). Returns the bytes
  // written: fewer than the command's when the port is not open, fails or the time ran out, or
  // an open or close is waiting for the line.
  size_t SerialWrite(std::string_view command);
  // Waits within the time-out for a complete reply of the addressed set ID and returns it with
  // set ID "01"; the empty text when nothing arrived, and what arrived, unfinished, when the
  // time ran out on an incomplete reply. Holds at most kReadBufferSize bytes. The wait also
  // ends, with the empty text, once `cancelFd` (-1: none) is readable or the port is opened or
  // closed meanwhile.
  std::string SerialRead(std::string_view addressedSetId, int timeoutMs, int cancelFd = -1);
  // Write, pause, read, as one exchange; the set ID is read from the command. Nothing is
  // written once `cancelFd` is readable, and the waits end as SerialRead's do; an open or
  // close meanwhile waits for the pause at most.
  std::string Exchange(std::string_view command, int timeoutMs, const Sleeper& sleep,
                       int cancelFd = -1);

 private:
  // Runs `work` with the line held, after ending the wait of whoever holds it now.
  template <typename Work>
  auto Interrupting(Work work);
  bool OpenLocked(const SerialLineSettings& settings);
  void CloseLocked();
  size_t WriteLocked(std::string_view command, int cancelFd);
  std::string ReadLocked(std::string_view addressedSetId, int timeoutMs, int cancelFd);

  UiHost& m_ui;
  // Held for a whole read, write or exchange; guards m_fd. The descriptor is closed only with
  // it held, so no wait polls a number that was closed and given to another file.
  std::mutex m_mutex;
  int m_fd = -1;
  // A semaphore eventfd: readable while an open or close waits for the line. Every wait on the
  // device polls it too. -1 if none could be made: waits then end only by their time-outs.
  int m_interruptFd;
  // Guards what the port reports, which is never waited for behind the line.
  mutable std::mutex m_stateMutex;
  bool m_open = false;
  SerialLineSettings m_settings;
  std::string m_lastError;
};

}  // namespace tarnex
