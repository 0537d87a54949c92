#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace tarnex {

// The descriptor value of an empty socket slot. Zero is a valid descriptor on POSIX, so an
// empty slot is -1 rather than the 0 the Windows code used.
inline constexpr int kNoSocket = -1;

enum class WaitOutcome {
  kReadable,  // data, an error or the peer's close is waiting
  kTimedOut,
  kCancelled,  // the cancel descriptor became readable
  kFailed,
};

enum class ConnectStart {
  kConnected,   // connected at once
  kInProgress,  // watch for writable, then ask ConnectError
  kFailed,      // refused or unreachable at once
  kBadAddress,  // the address text is not a dotted IPv4 address; nothing was sent
};

enum class ConnectOutcome {
  kConnected,    // writable within the time-out and no pending socket error
  kNotWritable,  // refused, unreachable or no answer within the time-out
  kWaitFailed,   // the wait itself failed (poll error)
  kBadAddress,   // the address text is not a dotted IPv4 address; nothing was sent
};

// The socket calls of the network link, behind an interface so that tests can inject faults
// (a refusal on the first attempt, a failing option) around the real POSIX sockets.
class SocketApi {
 public:
  virtual ~SocketApi() = default;

  // A new TCP stream socket, or kNoSocket.
  virtual int CreateTcp() = 0;
  virtual bool SetReceiveTimeout(int fd, int milliseconds) = 0;
  virtual bool SetNonBlocking(int fd, bool nonBlocking) = 0;
  // Starts a connect on a non-blocking socket and waits up to timeoutMs for it to finish.
  virtual ConnectOutcome Connect(int fd, const std::string& ipv4, uint16_t port, int timeoutMs) = 0;
  // Sends the whole buffer or fails; never raises SIGPIPE. Returns bytes sent or -1.
  virtual ssize_t Send(int fd, const void* data, size_t size) = 0;
  // One receive; -1 on error or receive time-out, 0 when the peer closed.
  virtual ssize_t Recv(int fd, void* data, size_t size) = 0;
  virtual void Close(int fd) = 0;
  // errno of the last failed call on this thread.
  virtual int LastError() = 0;

  // The calls below have POSIX implementations that fault-injecting tests need not replace.

  // Waits until `fd` has something to read, `cancelFd` (when not kNoSocket) becomes readable,
  // or the time-out passes.
  virtual WaitOutcome WaitReadable(int fd, int cancelFd, int timeoutMs);
  // The socket's receive time-out in milliseconds (kReceiveTimeoutMs when it has none).
  virtual int ReceiveTimeoutMs(int fd);
  // Starts a connect on a non-blocking socket without waiting.
  virtual ConnectStart StartConnect(int fd, const std::string& ipv4, uint16_t port);
  // The outcome of a started connect once the socket became writable: 0 when connected, else
  // the error that ended it.
  virtual int ConnectError(int fd);
  // Reads and drops whatever is already queued on the socket, without waiting; at most
  // `limit` bytes, so a display that never stops talking cannot hold the caller. Returns the
  // number of bytes dropped.
  virtual size_t Discard(int fd, size_t limit);
};

// Without SO_RCVTIMEO a socket would wait forever; the console's sockets always carry one.
inline constexpr int kDefaultReceiveTimeoutMs = 3000;

// The process-wide POSIX implementation.
SocketApi& PosixSockets();

// Parses a strict dotted-quad IPv4 text. Unlike inet_addr, a malformed text is rejected
// instead of turning into 255.255.255.255.
bool ParseIpv4(const std::string& text, uint32_t* networkOrder);

}  // namespace tarnex
