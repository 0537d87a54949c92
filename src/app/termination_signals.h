#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace tarnex {

// SIGTERM, SIGINT and SIGHUP (the session ending, Ctrl+C in the terminal that started the
// console) end the console in order, so the configuration is written rather than lost. The
// signal handler only writes a byte; `onSignal` runs on the UI thread. A second SIGTERM or
// SIGINT after one of them was received ends the process at once, by that signal: whoever
// asks twice does not want to wait for the close any more, held up or not. SIGHUP never does,
// as it comes with a session's SIGTERM when the terminal closes with it.
class TerminationSignals : public QObject {
 public:
  explicit TerminationSignals(std::function<void()> onSignal, QObject* parent = nullptr);
  ~TerminationSignals() override;
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  bool Installed() const { return m_notifier != nullptr; }

 private:
  void OnReadable();

  std::function<void()> m_onSignal;
  QSocketNotifier* m_notifier = nullptr;
};

}  // namespace tarnex
