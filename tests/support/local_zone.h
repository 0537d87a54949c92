#pragma once

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

namespace tarnex::testing {

// The process's local time zone for the life of the object; the earlier one comes back after.
class LocalZone {
 public:
  explicit LocalZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) m_old = old;
    ::setenv("TZ", zone, 1);
    ::tzset();
  }
  ~LocalZone() {
    m_old ? ::setenv("TZ", m_old->c_str(), 1) : ::unsetenv("TZ");
    ::tzset();
  }

 private:
  std::optional<std::string> m_old;
};

// An instant written in UTC, so that an expectation does not depend on the zone under test.
inline std::time_t UtcSeconds(int year, int month, int day, int hour, int minute) {
  std::tm parts{0, minute, hour, day, month - 1, year - 1900, 0, 0, 0, 0, nullptr};
  return ::timegm(&parts);
}

}  // namespace tarnex::testing
