#include "links/ip_address.h"

namespace tarnex {

bool IsDottedIPv4(std::string_view text) {
  int octets = 0;
  size_t pos = 0;
  while (octets < 4) {
    int value = 0;
    size_t digits = 0;
    while (pos < text.size() && text[pos] >= '0' && text[pos] <= '9' && digits < 3) {
      value = value * 10 + (text[pos] - '0');
      ++pos;
      ++digits;
    }
    if (digits == 0 || value > 255) return false;
    ++octets;
    if (octets == 4) break;
    if (pos >= text.size() || text[pos] != '.') return false;
    ++pos;
  }
  return pos == text.size();
}

}  // namespace tarnex
