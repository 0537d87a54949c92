#pragma once

#include <string>
#include <vector>

namespace tarnex {

// What the command line asks of the console before any window exists. --help and --version
// are read before Qt starts, so that they answer on a machine without a display server
// (a package check, a terminal over ssh); every other argument is left to Qt.
enum class CommandLineAction { kRun, kHelp, kVersion };

// The first of --help (-h) and --version decides; without either the console runs.
CommandLineAction ReadCommandLine(const std::vector<std::string>& arguments);

std::string ConsoleUsageText();
std::string ConsoleVersionText();

// Qt removes the options it knows from the command line; anything still there after the
// program's name was misspelt or is not meant for this program. The text tells the operator
// which argument it was; empty when nothing is left.
std::string LeftoverArgumentText(const std::vector<std::string>& argumentsAfterQt);

}  // namespace tarnex
