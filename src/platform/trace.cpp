#include "platform/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace tarnex {
namespace {

std::mutex& SinkMutex() {
  static std::mutex mutex;
  return mutex;
}

TraceSink& Sink() {
  static TraceSink sink;
  return sink;
}

bool StderrEnabled() {
  static const bool enabled = [] {
    const char* value = std::getenv("TARNEX_TRACE");
    return value != nullptr && std::strcmp(value, "1") == 0;
  }();
  return enabled;
}

}  // namespace

void Trace(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, format, copy);
  va_end(copy);
  std::string line;
  if (needed > 0) {
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buffer.data(), buffer.size(), format, args);
    line.assign(buffer.data(), static_cast<size_t>(needed));
  }
  va_end(args);

  std::lock_guard lock(SinkMutex());
  if (Sink()) {
    Sink()(line);
  } else if (StderrEnabled()) {
    std::fprintf(stderr, "%s\n", line.c_str());
  }
}

void SetTraceSink(TraceSink sink) {
  std::lock_guard lock(SinkMutex());
  Sink() = std::move(sink);
}

}  // namespace tarnex
