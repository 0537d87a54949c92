#include "fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace tarnex::fuzz {

ScratchFile::ScratchFile(std::string_view name) {
  const char* folder = std::getenv("TMPDIR");
  m_path = std::string(folder != nullptr && *folder != '\0' ? folder : "/tmp") + "/tarnex-fuzz-" +
           std::to_string(getpid()) + "-" + std::string(name);
}

ScratchFile::~ScratchFile() {
  Remove();
}

void ScratchFile::Write(std::string_view bytes) const {
  std::FILE* file = std::fopen(m_path.c_str(), "wb");
  TARNEX_FUZZ_CHECK(file != nullptr);
  const size_t written = bytes.empty() ? 0 : std::fwrite(bytes.data(), 1, bytes.size(), file);
  TARNEX_FUZZ_CHECK(std::fclose(file) == 0 && written == bytes.size());
}

void ScratchFile::Remove() const {
  std::remove(m_path.c_str());
}

bool Printable(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte >= 0x7f) return false;
  }
  return true;
}

}  // namespace tarnex::fuzz
