#pragma once

#include <QObject>
#include <QPointer>
#include <atomic>
#include <functional>

#include "app/operator_messages.h"
#include "platform/ui_host.h"

class QWidget;

namespace tarnex {

// The console's way to the operator, on Qt. Every call is delivered on the UI thread: a call
// made there acts at once (a message box is modal), a call from a worker is queued and the
// worker goes on, because the worker holds the console lock and the UI thread may be waiting
// for that lock. Tree changes are coalesced: however many a pass makes, the view syncs once.
// So are progress positions from a worker: the bar repaints at once on every change, and a
// group of hundreds would otherwise repaint it hundreds of times in a row; it shows the latest.
class QtUiHost : public QObject, public UiHost {
 public:
  struct Handlers {
    std::function<void()> treeChanged;
    std::function<void()> pageMustRefresh;
    std::function<void()> progressCreate;
    std::function<void(int)> progressSetPos;
    std::function<void()> progressDestroy;
  };

  explicit QtUiHost(MessagePresenter presenter, QObject* parent = nullptr);

  // Set on the UI thread before any worker starts.
  void SetHandlers(Handlers handlers) { m_handlers = std::move(handlers); }
  void SetMessageParent(QWidget* parent) { m_messageParent = parent; }
  // The console is closing: from now on no box is shown, not even one a worker queued
  // before, and a question is answered No. A box shown then would hold the end of the process
  // for an operator who has already asked it to end. UI thread.
  void Silence() { m_silenced = true; }
  // Shows `text` in a box over `parent`, as ShowMessage does, unless silenced. UI thread.
  void Present(QWidget* parent, const QString& text);

  void ShowMessage(std::string_view text) override;
  // A worker cannot wait for the operator's answer without blocking the console, so a
  // question asked off the UI thread is answered No at once.
  bool AskYesNo(std::string_view title, std::string_view text) override;
  void ProgressCreate() override;
  void ProgressSetPos(int percent) override;
  void ProgressDestroy() override;
  void TreeChanged() override;
  void PageMustRefresh() override;
  void RunOnUi(std::function<void()> call) override { OnUi(std::move(call)); }

 private:
  bool OnUiThread() const;
  // Runs `call` on the UI thread: now when already there, queued otherwise.
  void OnUi(std::function<void()> call);
  void DeliverTreeChanged();
  void DeliverProgressPos();

  MessagePresenter m_presenter;
  QPointer<QWidget> m_messageParent;
  Handlers m_handlers;
  std::atomic<bool> m_treeSyncQueued{false};
  std::atomic<int> m_progressPos{0};
  std::atomic<bool> m_progressPosQueued{false};
  bool m_silenced = false;  // UI thread
};

}  // namespace tarnex
