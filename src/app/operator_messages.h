#pragma once

#include <QString>
#include <functional>
#include <string>
#include <vector>

class QWidget;

namespace tarnex {

// The caption of the main window and of every message box.
inline constexpr const char* kApplicationTitle = "Tarnex Manager";

// Shows one fixed text to the operator and returns when it was acknowledged. The console uses
// a modal box with an OK button; tests pass a recorder so they can read the exact words
// without a box waiting for a click. Runs on the UI thread.
using MessagePresenter = std::function<void(QWidget* parent, const QString& text)>;

// The modal box with OK, captioned with the application's title.
MessagePresenter ModalMessagePresenter();

// The one text that names every file the close could not write: the path after the words,
// or several paths one a line below them.
QString SaveFailureText(const std::vector<std::string>& paths);

}  // namespace tarnex
