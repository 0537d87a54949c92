#include "platform/open_file_limit.h"

#include <sys/resource.h>

#include <climits>

namespace tarnex {
namespace {

// What Linux allows when the hard limit says unlimited (fs.nr_open's default).
constexpr rlim_t kUnlimitedCeiling = 1048576;

long AsLong(rlim_t value) {
  return value == RLIM_INFINITY || value > static_cast<rlim_t>(LONG_MAX) ? LONG_MAX
                                                                         : static_cast<long>(value);
}

}  // namespace

long RaiseOpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  if (limit.rlim_cur != limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max;
    if (::setrlimit(RLIMIT_NOFILE, &raised) != 0 && limit.rlim_max == RLIM_INFINITY) {
      raised.rlim_cur = kUnlimitedCeiling;
      ::setrlimit(RLIMIT_NOFILE, &raised);
    }
  }
  return OpenFileLimit();
}

long OpenFileLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return -1;
  return AsLong(limit.rlim_cur);
}

}  // namespace tarnex
