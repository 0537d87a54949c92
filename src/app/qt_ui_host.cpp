#include "app/qt_ui_host.h"

#include <QMessageBox>
#include <QThread>
#include <string>

#include "app/legacy_text.h"
#include "platform/trace.h"

namespace tarnex {
namespace {

// Messages may quote a label or a group name, which can be code-page text from an older file.
QString TextOf(std::string_view text) {
  return DecodeText(text);
}

}  // namespace

QtUiHost::QtUiHost(MessagePresenter presenter, QObject* parent)
    : QObject(parent), m_presenter(std::move(presenter)) {}

bool QtUiHost::OnUiThread() const {
  return QThread::currentThread() == thread();
}

void QtUiHost::OnUi(std::function<void()> call) {
  if (OnUiThread()) {
    call();
    return;
  }
  // Posted to this object's thread; dropped if the host is gone before it runs.
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void QtUiHost::ShowMessage(std::string_view text) {
  OnUi([this, message = TextOf(text)] { Present(m_messageParent.data(), message); });
}

void QtUiHost::Present(QWidget* parent, const QString& text) {
  if (m_silenced) {
    Trace("message dropped while closing: %s", text.toLocal8Bit().constData());
    return;
  }
  m_presenter(parent, text);
}

bool QtUiHost::AskYesNo(std::string_view title, std::string_view text) {
  if (!OnUiThread()) {
    Trace("question off the UI thread answered No: %.*s", static_cast<int>(text.size()),
          text.data());
    return false;
  }
  if (m_silenced) {
    Trace("question answered No while closing: %.*s", static_cast<int>(text.size()), text.data());
    return false;
  }
  const auto answer = QMessageBox::question(m_messageParent.data(), TextOf(title), TextOf(text),
                                            QMessageBox::Yes | QMessageBox::No);
  return answer == QMessageBox::Yes;
}

void QtUiHost::ProgressCreate() {
  OnUi([this] {
    if (m_handlers.progressCreate) m_handlers.progressCreate();
  });
}

void QtUiHost::ProgressSetPos(int percent) {
  m_progressPos.store(percent);
  if (OnUiThread()) {
    DeliverProgressPos();
    return;
  }
  // Queued once until delivered; calls meanwhile only change the position it will show. It
  // stays in its place among the other queued calls, so it still comes before a later destroy.
  if (m_progressPosQueued.exchange(true)) return;
  QMetaObject::invokeMethod(
      this, [this] { DeliverProgressPos(); }, Qt::QueuedConnection);
}

// Runs on the UI thread.
void QtUiHost::DeliverProgressPos() {
  m_progressPosQueued.store(false);
  if (m_handlers.progressSetPos) m_handlers.progressSetPos(m_progressPos.load());
}

void QtUiHost::ProgressDestroy() {
  OnUi([this] {
    if (m_handlers.progressDestroy) m_handlers.progressDestroy();
  });
}

// Always queued, even on the UI thread: the caller is in the middle of changing the tree
// under the console lock, and the view must read it only once the change is complete.
void QtUiHost::TreeChanged() {
  if (m_treeSyncQueued.exchange(true)) return;
  QMetaObject::invokeMethod(
      this, [this] { DeliverTreeChanged(); }, Qt::QueuedConnection);
}

// Runs on the UI thread.
void QtUiHost::DeliverTreeChanged() {
  m_treeSyncQueued.store(false);
  if (m_handlers.treeChanged) m_handlers.treeChanged();
}

void QtUiHost::PageMustRefresh() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (m_handlers.pageMustRefresh) m_handlers.pageMustRefresh();
      },
      Qt::QueuedConnection);
}

}  // namespace tarnex
