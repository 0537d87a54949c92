#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace tarnex {

// SIGTERM, SIGINT and SIGHUP (the session ending, Ctrl+C in the terminal that started the
// console) close the window as the operator would, so the configuration is written rather
// than lost. The signal handler only writes a byte; `onSignal` runs on the UI thread.
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
