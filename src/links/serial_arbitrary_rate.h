#pragma once

namespace tarnex {

// Sets a rate the standard termios table lacks (14400) through the kernel's arbitrary-rate
// interface, and reads it back. False when the driver refuses it or keeps another rate.
// Kept apart because the kernel's termios2 header and the C library's termios.h cannot meet
// in one translation unit.
bool SetArbitraryRate(int fd, int rate);

}  // namespace tarnex
