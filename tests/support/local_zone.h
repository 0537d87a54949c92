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
    if (m_old) {
      ::setenv("TZ", m_old->c_str(), 1);
    } else {
      ::unsetenv("TZ");
    }
    ::tzset();
  }
  LocalZone(const LocalZone&) = delete;
  LocalZone& operator=(const LocalZone&) = delete;

 private:
  std::optional<std::string> m_old;
};

// An epoch second written as UTC, so that an expected instant does not depend on the zone.
inline std::time_t UtcSeconds(int year, int month, int day, int hour, int minute) {
  std::tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  return ::timegm(&parts);
}

}  // namespace tarnex::testing
