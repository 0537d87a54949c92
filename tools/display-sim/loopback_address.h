#pragma once

#include <string>

namespace tarnex::sim {

// True for a strict dotted-quad address inside 127.0.0.0/8. The simulator binds nowhere
// else, so that tests never expose a fake display on a real network.
bool IsLoopbackAddress(const std::string& address);

}  // namespace tarnex::sim
