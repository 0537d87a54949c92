#include "links/serial_arbitrary_rate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace tarnex {

bool SetArbitraryRate(int fd, int rate) {
  if (rate <= 0) return false;
  struct termios2 mode {};
  if (::ioctl(fd, TCGETS2, &mode) != 0) return false;
  mode.c_cflag &= ~(CBAUD | (CBAUD << IBSHIFT));
  mode.c_cflag |= BOTHER | (BOTHER << IBSHIFT);
  mode.c_ispeed = static_cast<speed_t>(rate);
  mode.c_ospeed = static_cast<speed_t>(rate);
  if (::ioctl(fd, TCSETS2, &mode) != 0) return false;
  // A driver may round an arbitrary rate to what its clock divides into; that is still a
  // refusal, because the displays expect the configured rate.
  struct termios2 applied {};
  if (::ioctl(fd, TCGETS2, &applied) != 0) return false;
  return applied.c_ospeed == static_cast<speed_t>(rate);
}

}  // namespace tarnex
