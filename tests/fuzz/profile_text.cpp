// The INI text model: any file parses, an edit reads back as written, and every other key,
// before and after the file is written out and parsed again, keeps its value.
#include <map>
#include <utility>

#include "fuzz_support.h"
#include "platform/profile_text.h"

using namespace tarnex;

namespace {

using Values = std::map<std::pair<std::string, std::string>, std::string>;

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return lower;
}

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

// Every value a reader can reach, by lower-case section and key name.
Values AllValues(const ProfileText& text) {
  Values values;
  for (const std::string_view section : text.SectionNames()) {
    for (const std::string_view key : text.KeyNames(section)) {
      const auto id = std::make_pair(Lower(section), Lower(key));
      if (values.count(id) != 0) continue;
      const auto value = text.Value(section, key);
      TARNEX_FUZZ_CHECK(value.has_value());
      values.emplace(id, std::string(*value));
    }
  }
  return values;
}

std::string_view CutAtNul(std::string_view text) {
  return text.substr(0, text.find('\0'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  fuzz::Input input(data, size);
  const uint8_t action = input.Byte();
  const std::string section(input.Field(24));
  const std::string key(input.Field(24));
  const std::string value(input.Field(64));
  const std::string_view file = input.Rest();

  ProfileText text(file);
  TARNEX_FUZZ_CHECK(text.Serialize() == file);
  TARNEX_FUZZ_CHECK(text.LineCount() == CountProfileLines(file));
  const Values before = AllValues(text);

  const auto edited = std::make_pair(Lower(Trimmed(section)), Lower(Trimmed(key)));
  if (!ValidProfileWrite(section.c_str(), key.c_str(), value.c_str()) ||
      section.find('\0') != std::string::npos || key.find('\0') != std::string::npos) {
    return 0;
  }
  const std::string_view wanted = CutAtNul(value);
  if ((action & 3) == 0) {
    text.Delete(section, key);
    TARNEX_FUZZ_CHECK(!text.Value(section, key) || before.count(edited) != 0);
  } else {
    text.Set(section, key, QuotedIfNeeded(wanted));
    const auto read = text.Value(section, key);
    TARNEX_FUZZ_CHECK(read.has_value() && *read == wanted);
  }
  TARNEX_FUZZ_CHECK(text.Bytes() == text.Serialize().size());

  // Written out and parsed again, every value reads as it did before the write.
  const Values after = AllValues(text);
  const ProfileText reread(text.Serialize());
  TARNEX_FUZZ_CHECK(AllValues(reread) == after);
  if ((action & 3) != 0) TARNEX_FUZZ_CHECK(reread.Value(section, key) == wanted);

  // No other key changed.
  for (const auto& [id, old] : before) {
    if (id == edited) continue;
    const auto found = after.find(id);
    TARNEX_FUZZ_CHECK(found != after.end() && found->second == old);
  }
  return 0;
}
