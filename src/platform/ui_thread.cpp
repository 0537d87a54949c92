#include "platform/ui_thread.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace tarnex {
namespace {

std::atomic<std::thread::id> g_uiThread{};

}  // namespace

void MarkUiThread() {
  g_uiThread.store(std::this_thread::get_id());
}

void UnmarkUiThread() {
  g_uiThread.store(std::thread::id());
}

bool OnMarkedUiThread() {
  return g_uiThread.load() == std::this_thread::get_id();
}

void ExpectOffUiThread([[maybe_unused]] const char* what) {
#ifndef NDEBUG
  if (OnMarkedUiThread()) {
    std::fprintf(stderr, "tarnex: %s on the UI thread\n", what);
    std::abort();
  }
#endif
}

void ExpectOnUiThread([[maybe_unused]] const char* what) {
#ifndef NDEBUG
  const std::thread::id ui = g_uiThread.load();
  if (ui != std::thread::id() && ui != std::this_thread::get_id()) {
    std::fprintf(stderr, "tarnex: %s off the UI thread\n", what);
    std::abort();
  }
#endif
}

}  // namespace tarnex
