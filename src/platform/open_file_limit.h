#pragma once

namespace tarnex {

// Raises the soft limit on open descriptors to the hard limit. A process that keeps a socket
// per display (a thousand displays, and in the simulator their listeners too) needs more
// than the usual soft limit of 1024. Returns the soft limit now in force, or -1 when it
// cannot be read. Depends on nothing but POSIX, so any program may call it first thing.
long RaiseOpenFileLimit();

// The soft limit in force, or -1.
long OpenFileLimit();

}  // namespace tarnex
