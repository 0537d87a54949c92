#include "links/link_connector.h"

#include <poll.h>

#include <cerrno>
#include <chrono>

#include "platform/open_file_limit.h"
#include "platform/trace.h"
#include "platform/ui_thread.h"

namespace tarnex {
namespace {

using Clock = std::chrono::steady_clock;

// Descriptors a fleet may never take: the console still has files to write (the history, the
// configuration at the close), a window and mail to send. Descriptors are handed out lowest
// first, so a socket's number tells how many are open.
constexpr long kReservedDescriptors = 64;

bool OutOfDescriptors(int error) {
  return error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM;
}

bool IntoTheReserve(int fd, long limit) {
  return limit > 0 && fd >= limit - kReservedDescriptors;
}

class Connector {
 public:
  Connector(SocketApi& api, const std::vector<std::string>& addresses,
            const ConnectOptions& options)
      : m_api(api),
        m_addresses(addresses),
        m_options(options),
        m_results(addresses.size()),
        m_limit(OpenFileLimit()) {}

  std::vector<Connection> Run() {
    std::vector<size_t> round(m_addresses.size());
    for (size_t i = 0; i < round.size(); ++i) round[i] = i;
    const Clock::time_point first = Clock::now();
    const auto period = std::chrono::milliseconds(m_options.attemptMs);
    for (int attempt = 0; attempt < m_options.attempts && !round.empty(); ++attempt) {
      const Clock::time_point start = first + attempt * period;
      if (!WaitUntil(start)) {
        Cancel(round);
        round.clear();
        break;
      }
      round = RunAttempt(round, attempt, start + period);
    }
    for (size_t index : round) Final(index);  // every attempt failed
    return std::move(m_results);
  }

 private:
  struct Pending {
    size_t index;
    int fd;
  };

  // False when the console started closing meanwhile.
  bool WaitUntil(Clock::time_point when) {
    for (;;) {
      const Clock::time_point now = Clock::now();
      if (now >= when) return !Cancelled(0);
      if (Cancelled(
              static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(when - now).count()))) {
        return false;
      }
    }
  }

  bool Cancelled(int timeoutMs) {
    if (m_options.cancelFd == kNoSocket) {
      if (timeoutMs > 0) ::poll(nullptr, 0, timeoutMs);
      return false;
    }
    pollfd entry{m_options.cancelFd, POLLIN, 0};
    return ::poll(&entry, 1, timeoutMs) > 0;
  }

  // The result of `index` will not change any more.
  void Final(size_t index) {
    if (m_options.finished) m_options.finished(index, m_results[index]);
  }

  void Cancel(const std::vector<size_t>& indexes) {
    for (size_t index : indexes) {
      m_results[index].result = Connection::Result::kCancelled;
      Final(index);
    }
  }

  // Starts every connect of the round; returns the ones to watch. Failures go to `retry`.
  std::vector<Pending> Start(const std::vector<size_t>& round, int attempt,
                             std::vector<size_t>& retry) {
    std::vector<Pending> watched;
    for (size_t index : round) {
      Connection& result = m_results[index];
      result.attemptNumber = attempt;
      const int fd = m_api.CreateTcp();
      if (fd == kNoSocket) {
        const int error = m_api.LastError();
        result.result = OutOfDescriptors(error) ? Connection::Result::kNoDescriptors
                                                : Connection::Result::kNotConnected;
        if (result.result == Connection::Result::kNotConnected) {
          retry.push_back(index);
        } else {
          Final(index);
        }
        continue;
      }
      if (IntoTheReserve(fd, m_limit)) {
        m_api.Close(fd);
        result.result = Connection::Result::kNoDescriptors;
        Final(index);
        continue;
      }
      if (!m_api.SetReceiveTimeout(fd, m_options.receiveTimeoutMs) && m_options.optionFailed) {
        m_options.optionFailed();
      }
      if (!m_api.SetNonBlocking(fd, true)) {
        m_api.Close(fd);
        result.result = Connection::Result::kSetupFailed;
        Final(index);
        continue;
      }
      const uint16_t port =
          index < m_options.ports.size() ? m_options.ports[index] : m_options.port;
      switch (m_api.StartConnect(fd, m_addresses[index], port)) {
        case ConnectStart::kConnected:
          Finish(index, fd);
          break;
        case ConnectStart::kInProgress:
          watched.push_back({index, fd});
          break;
        case ConnectStart::kFailed:
        case ConnectStart::kBadAddress:
          m_api.Close(fd);
          retry.push_back(index);
          break;
      }
    }
    return watched;
  }

  void Finish(size_t index, int fd) {
    Connection& result = m_results[index];
    if (!m_api.SetNonBlocking(fd, false)) {
      m_api.Close(fd);
      result.result = Connection::Result::kSetupFailed;
    } else {
      result.result = Connection::Result::kConnected;
      result.fd = fd;
    }
    Final(index);
  }

  std::vector<size_t> RunAttempt(const std::vector<size_t>& round, int attempt,
                                 Clock::time_point end) {
    std::vector<size_t> retry;
    std::vector<Pending> watched = Start(round, attempt, retry);
    std::vector<pollfd> polled;
    while (!watched.empty()) {
      const Clock::time_point now = Clock::now();
      if (now >= end) break;
      polled.clear();
      for (const Pending& pending : watched) polled.push_back({pending.fd, POLLOUT, 0});
      polled.push_back({m_options.cancelFd, POLLIN, 0});
      const int waitMs =
          static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(end - now).count());
      const int ready = ::poll(polled.data(), polled.size(), waitMs);
      if (ready < 0 && errno != EINTR) break;
      if (ready <= 0) continue;
      if (polled.back().revents != 0) {
        for (const Pending& pending : watched) m_api.Close(pending.fd);
        Cancel(retry);
        std::vector<size_t> cut;
        for (const Pending& pending : watched) cut.push_back(pending.index);
        Cancel(cut);
        return {};
      }
      std::vector<Pending> still;
      for (size_t p = 0; p < watched.size(); ++p) {
        const Pending& pending = watched[p];
        if (polled[p].revents == 0) {
          still.push_back(pending);
        } else if (m_api.ConnectError(pending.fd) == 0) {
          Finish(pending.index, pending.fd);
        } else {
          m_api.Close(pending.fd);  // refused: tried again next attempt
          retry.push_back(pending.index);
        }
      }
      watched = std::move(still);
    }
    for (const Pending& pending : watched) {
      m_api.Close(pending.fd);
      retry.push_back(pending.index);
    }
    return retry;
  }

  SocketApi& m_api;
  const std::vector<std::string>& m_addresses;
  const ConnectOptions& m_options;
  std::vector<Connection> m_results;
  long m_limit;
};

}  // namespace

std::vector<Connection> ConnectAll(SocketApi& api, const std::vector<std::string>& addresses,
                                   const ConnectOptions& options) {
  ExpectOffUiThread("a display connect");
  return Connector(api, addresses, options).Run();
}

}  // namespace tarnex
