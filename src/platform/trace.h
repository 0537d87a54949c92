#pragma once

#include <functional>
#include <string_view>

namespace tarnex {

// Diagnostic traces ("Disconnect Check", "SOCKET_ERROR %d", ...). By default they go nowhere;
// TARNEX_TRACE=1 sends them to stderr, and tests install a sink to assert them.
void Trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

using TraceSink = std::function<void(std::string_view line)>;

// Replaces the sink for every thread; an empty sink restores the default. The sink may be
// called from any thread, one line at a time.
void SetTraceSink(TraceSink sink);

}  // namespace tarnex
