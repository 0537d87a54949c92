#pragma once

namespace tarnex {

// The window's thread must never wait for a display or a server. The application names its UI
// thread at start; debug builds then abort on a socket or serial wait made on it, so that a
// call that slipped back onto the UI thread fails every test that reaches it.
void MarkUiThread();
// Forgets the UI thread again (tests that build and tear down windows).
void UnmarkUiThread();
bool OnMarkedUiThread();

// Aborts in debug builds when called on the UI thread; `what` names the call.
void ExpectOffUiThread(const char* what);
// Aborts in debug builds when a UI thread is named and this is another thread: the operator's
// selection is written there only.
void ExpectOnUiThread(const char* what);

}  // namespace tarnex
