#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// What every fuzz entry point shares: a bound on the input, a check that stops the run on a
// broken invariant, and a reader that cuts the input into the fields a target needs.
namespace tarnex::fuzz {

// Larger inputs find nothing the parsers' own bounds do not already cut, and slow the search.
inline constexpr size_t kMaxInput = 4096;

// A broken invariant is a finding: the trap makes libFuzzer keep the input, and the replay
// fail.
#define TARNEX_FUZZ_CHECK(condition)    \
  do {                                  \
    if (!(condition)) __builtin_trap(); \
  } while (false)

class Input {
 public:
  Input(const uint8_t* data, size_t size) : m_rest(reinterpret_cast<const char*>(data), size) {}

  bool Empty() const { return m_rest.empty(); }

  uint8_t Byte() {
    if (m_rest.empty()) return 0;
    const auto byte = static_cast<uint8_t>(m_rest.front());
    m_rest.remove_prefix(1);
    return byte;
  }

  // A field of up to `limit` bytes, its length taken from the next byte.
  std::string_view Field(size_t limit = 255) {
    const size_t wanted = Byte() % (limit + 1);
    return Take(wanted);
  }

  // A field ending at the next `separator` (not included), or the rest.
  std::string_view Until(char separator) {
    const size_t end = m_rest.find(separator);
    if (end == std::string_view::npos) return Rest();
    const std::string_view field = m_rest.substr(0, end);
    m_rest.remove_prefix(end + 1);
    return field;
  }

  std::string_view Rest() { return Take(m_rest.size()); }

 private:
  std::string_view Take(size_t wanted) {
    const std::string_view field = m_rest.substr(0, wanted);
    m_rest.remove_prefix(field.size());
    return field;
  }

  std::string_view m_rest;
};

// A file of its own in the temporary folder for a target that reads or writes files; removed
// with the object.
class ScratchFile {
 public:
  explicit ScratchFile(std::string_view name);
  ~ScratchFile();
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const std::string& Path() const { return m_path; }
  void Write(std::string_view bytes) const;
  void Remove() const;

 private:
  std::string m_path;
};

bool Printable(std::string_view text);

}  // namespace tarnex::fuzz
