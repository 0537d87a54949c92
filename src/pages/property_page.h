#pragma once

#include <QIcon>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <chrono>
#include <initializer_list>
#include <utility>

#include "console/console_core.h"
#include "monitor/page_kind.h"
#include "monitor/read_context.h"

class QGroupBox;

namespace tarnex {

// One page of the property sheet. A page reads the selected display in its refresh and sends
// from its controls' change notifications; its value members travel between the controls and
// the display. A page fills in its controls, its lists and its refresh; the activation and the
// first-display initialisation are common to all.
//
// Threads: UI thread only.
class CPropertyPage : public QWidget {
 public:
  CPropertyPage(CConsoleCore& core, PageKind kind, QWidget* parent = nullptr);

  PageKind Kind() const { return m_kind; }
  virtual QString Title() const = 0;
  virtual QIcon Icon() const;

  // Re-reads the selected display, when this page is on top.
  virtual void Refresh() = 0;

  // The sheet's activation notification, once per tab change. The page initialises itself
  // the first time, raises its flag, re-reads a usable selection and shows its values.
  virtual void OnSetActive();

  // Receives the keyboard focus when the page becomes active, so the arrow keys keep
  // walking the device tree.
  void SetTreeWidget(QWidget* tree) { m_tree = tree; }

  // The value members to the controls, and back.
  virtual void ShowValues() = 0;
  // The operator selected something else: what the page showed was the previous selection's,
  // so it shows no value until one is read from the new one.
  virtual void ForgetValues() {}
  virtual void ReadControls() = 0;

 protected:
  CConsoleCore& Core() { return m_core; }
  // Whether this page's flag says it is on top.
  bool IsOnTop();
  // The device tree takes the keyboard focus.
  void FocusTree();

  // First display: the page's flag is raised, then the page fills its lists.
  virtual void OnInitPage() = 0;

  // Only PJLink displays are selected: the native protocol's own controls have nothing to
  // reach. Takes the lock.
  bool PjlinkOnly();
  // `control` is on as `enabled` says, and off, saying why, while only PJLink displays are
  // selected.
  static void ShowNativeOnly(QWidget* control, bool enabled, bool pjlinkOnly);

  // A frame titled as the setting it holds, its controls side by side, the first one
  // stretching. The title names the controls that carry no text of their own.
  QGroupBox* Frame(const QString& title, std::initializer_list<QWidget*> controls);

  // A read of `context` on a console worker, behind whatever it runs already: `read` waits
  // for the display there and returns readings (with `cancelled` and `answered`); `show` gets
  // them on the UI thread. A read made stale by a new selection shows nothing. `pauseAfter`:
  // once an answered read is handed over, the job keeps the display this long, so the operator
  // sees the values before a next command changes them.
  template <typename Read, typename Show>
  void PostRead(ReadContext context, Read read, Show show,
                std::chrono::milliseconds pauseAfter = {}) {
    JobKeys keys = context.Keys();
    m_core.Jobs().Post(
        std::move(keys), [this, read, show, pauseAfter, context = std::move(context)] {
          if (context.Cancelled()) return;  // the operator selected another item meanwhile
          const auto readings = read(context);
          if (readings.cancelled) return;
          QMetaObject::invokeMethod(
              this, [show, context, readings] { show(context, readings); }, Qt::QueuedConnection);
          if (readings.answered && pauseAfter.count() > 0) context.core->SleeperCopy()(pauseAfter);
        });
  }

 private:
  void InitialiseOnce();

  CConsoleCore& m_core;
  const PageKind m_kind;
  QPointer<QWidget> m_tree;
  bool m_initialised = false;
  bool m_activatedBefore = false;
};

}  // namespace tarnex
