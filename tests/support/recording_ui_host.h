#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "platform/ui_host.h"

namespace tarnex::testing {

// A UiHost that records every call, so tests assert the operator's exact words. Safe to call
// from several threads.
class RecordingUiHost : public UiHost {
 public:
  void ShowMessage(std::string_view text) override {
    std::lock_guard lock(mutex_);
    messages_.emplace_back(text);
  }
  bool AskYesNo(std::string_view title, std::string_view text) override {
    std::lock_guard lock(mutex_);
    questions_.emplace_back(std::string(title) + "|" + std::string(text));
    return nextAnswer_;
  }
  void ProgressCreate() override { Record("create"); }
  void ProgressSetPos(int percent) override { Record("pos " + std::to_string(percent)); }
  void ProgressDestroy() override { Record("destroy"); }
  void TreeChanged() override {
    std::lock_guard lock(mutex_);
    ++treeChanges_;
  }
  void PageMustRefresh() override {
    std::lock_guard lock(mutex_);
    ++pageRefreshes_;
  }

  // Calls for the UI thread run at once, on the caller's thread, unless the test keeps them
  // for its own thread (QueueUiCalls), which then runs them as an event loop would.
  void RunOnUi(std::function<void()> call) override {
    {
      std::lock_guard lock(mutex_);
      if (queueUiCalls_) {
        uiCalls_.push_back(std::move(call));
        return;
      }
    }
    call();
  }
  void QueueUiCalls(bool queue) {
    std::lock_guard lock(mutex_);
    queueUiCalls_ = queue;
  }
  // Runs the calls kept so far; returns how many ran.
  int RunUiCalls() {
    std::deque<std::function<void()>> calls;
    {
      std::lock_guard lock(mutex_);
      calls.swap(uiCalls_);
    }
    for (auto& call : calls) call();
    return static_cast<int>(calls.size());
  }

  void SetNextAnswer(bool yes) {
    std::lock_guard lock(mutex_);
    nextAnswer_ = yes;
  }
  std::vector<std::string> Messages() const {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  std::vector<std::string> Questions() const {
    std::lock_guard lock(mutex_);
    return questions_;
  }
  std::vector<std::string> Progress() const {
    std::lock_guard lock(mutex_);
    return progress_;
  }
  int TreeChanges() const {
    std::lock_guard lock(mutex_);
    return treeChanges_;
  }
  int PageRefreshes() const {
    std::lock_guard lock(mutex_);
    return pageRefreshes_;
  }

 private:
  void Record(std::string event) {
    std::lock_guard lock(mutex_);
    progress_.push_back(std::move(event));
  }

  mutable std::mutex mutex_;
  std::vector<std::string> messages_;
  std::vector<std::string> questions_;
  std::vector<std::string> progress_;
  int treeChanges_ = 0;
  int pageRefreshes_ = 0;
  bool nextAnswer_ = true;
  bool queueUiCalls_ = false;
  std::deque<std::function<void()>> uiCalls_;
};

}  // namespace tarnex::testing
