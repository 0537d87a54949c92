#pragma once

#include <functional>
#include <string_view>

namespace tarnex {

// The only way the core reaches the operator. The Qt application implements it and delivers
// every call on the UI thread; tests implement it with a recorder. Calls may come from any
// thread: an implementation must not assume it is called on the UI thread.
class UiHost {
 public:
  virtual ~UiHost() = default;

  // Modal message box with one OK button and a fixed text.
  virtual void ShowMessage(std::string_view text) = 0;
  // Modal Yes/No question; true for Yes.
  virtual bool AskYesNo(std::string_view title, std::string_view text) = 0;

  // The "Please Wait..." progress popup of group sends and page refreshes.
  virtual void ProgressCreate() = 0;
  virtual void ProgressSetPos(int percent) = 0;
  virtual void ProgressDestroy() = 0;

  // The device tree changed (labels, icons, items); the view must redraw it.
  virtual void TreeChanged() = 0;
  // The page on top must re-read the selected display.
  virtual void PageMustRefresh() = 0;

  // Runs `call` on the UI thread, later when called from another thread; the call is dropped
  // when the window goes first. A worker hands back there what it found about the selection,
  // which only the UI thread writes. Without a window the call runs at once.
  virtual void RunOnUi(std::function<void()> call) { call(); }
};

}  // namespace tarnex
