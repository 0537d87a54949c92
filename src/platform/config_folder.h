#pragma once

#include <string>

namespace tarnex {

// The folder of the configuration files, ending in "/" so that a file name can be appended
// directly: $TARNEX_CONFIG_DIR when set; otherwise the executable's folder when it can be
// written and the program is not installed there; otherwise $XDG_CONFIG_HOME/tarnex-manager/
// (or ~/.config/tarnex-manager/). The chosen folder is created when it does not exist yet.
// Asked again before every read and write, so a change of the environment takes effect at
// once.
std::string ConfigFolder();

// The same choice for an executable in exeFolder (ending in "/").
std::string ConfigFolderBeside(const std::string& exeFolder);

}  // namespace tarnex
