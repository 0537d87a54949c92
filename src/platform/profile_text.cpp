#include "platform/profile_text.h"

#include <algorithm>
#include <cstdint>
#include <unordered_set>

namespace tarnex {
namespace {

constexpr std::string_view kEol = "\r\n";

// ---- Bytes and names -------------------------------------------------------------------

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view TrimEol(std::string_view line) {
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  return line;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  }
  return true;
}

size_t NameHash(std::string_view name) {
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (char c : name) {
    hash ^= static_cast<unsigned char>(LowerAscii(c));
    hash *= 1099511628211ull;
  }
  return static_cast<size_t>(hash);
}

std::string LowerName(std::string_view name) {
  std::string lower(name);
  for (char& c : lower) c = LowerAscii(c);
  return lower;
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != text.npos;
}

// ---- Lines -----------------------------------------------------------------------------

// The name of a "[name]" header line, if the line is one.
bool HeaderName(std::string_view line, std::string_view& name) {
  line = Trim(TrimEol(line));
  if (line.empty() || line.front() != '[') return false;
  const size_t close = line.rfind(']');
  if (close == std::string_view::npos) return false;
  name = Trim(line.substr(1, close - 1));
  return true;
}

// Splits "key = value" into its trimmed parts; comments and lines without "=" are no keys.
bool KeyLine(std::string_view line, std::string_view& key, std::string_view& value) {
  line = Trim(TrimEol(line));
  if (line.empty() || line.front() == ';') return false;
  const size_t equals = line.find('=');
  if (equals == std::string_view::npos) return false;
  key = Trim(line.substr(0, equals));
  value = Trim(line.substr(equals + 1));
  return true;
}

std::string_view KeyOf(std::string_view line) {
  std::string_view key, value;
  KeyLine(line, key, value);
  return key;
}

bool IsBlankLine(std::string_view line) {
  return Trim(TrimEol(line)).empty();
}

// A line ends at CR LF, LF or a lone CR; the terminator stays with the line.
size_t LineEnd(std::string_view data, size_t from) {
  const size_t stop = data.find_first_of("\r\n", from);
  if (stop == std::string_view::npos) return data.size();
  if (data[stop] == '\r' && stop + 1 < data.size() && data[stop + 1] == '\n') return stop + 2;
  return stop + 1;
}

std::string KeyValueLine(std::string_view key, std::string_view value) {
  std::string line;
  line.reserve(key.size() + value.size() + 3);
  line.append(key).append("=").append(value).append(kEol);
  return line;
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

using Lines = std::vector<std::string>;

}  // namespace

// Named, not anonymous: ProfileText::Section holds them, and a class with external linkage must
// not hold a type that has none (a unity build would see it in an included file).
namespace profile_index {

// Indexes key lines by their name, without copying the names: an entry is the line's position.
struct KeyHash {
  using is_transparent = void;
  const Lines* lines;
  size_t operator()(uint32_t at) const { return NameHash(KeyOf((*lines)[at])); }
  size_t operator()(std::string_view name) const { return NameHash(name); }
};

struct KeyEqual {
  using is_transparent = void;
  const Lines* lines;
  bool operator()(uint32_t a, uint32_t b) const {
    return SameName(KeyOf((*lines)[a]), KeyOf((*lines)[b]));
  }
  bool operator()(std::string_view n, uint32_t b) const { return SameName(n, KeyOf((*lines)[b])); }
  bool operator()(uint32_t a, std::string_view n) const { return SameName(KeyOf((*lines)[a]), n); }
};

}  // namespace profile_index

// A section's lines, its "[name]" header first. Deleted lines stay as empty strings so that
// positions in the key index remain valid. The section is never moved: the index points at it.
struct ProfileText::Section {
  Section() : keys(0, profile_index::KeyHash{&lines}, profile_index::KeyEqual{&lines}) {}
  Section(const Section&) = delete;
  Section& operator=(const Section&) = delete;

  std::string name;
  bool hasHeader = false;
  Lines lines;
  std::unordered_set<uint32_t, profile_index::KeyHash, profile_index::KeyEqual> keys;

  // Indexes the line at `at` when it is a key line; the first of equal names wins.
  void IndexLine(size_t at) {
    std::string_view key, value;
    if (KeyLine(lines[at], key, value)) keys.insert(static_cast<uint32_t>(at));
  }

  const std::string* FindLine(std::string_view key) const {
    const auto found = keys.find(key);
    return found == keys.end() ? nullptr : &lines[*found];
  }
};

ProfileText::ProfileText() {
  m_sections.push_back(std::make_unique<Section>());
}

ProfileText::ProfileText(std::string_view data) : ProfileText() {
  Section* current = m_sections.front().get();
  for (size_t at = 0; at < data.size();) {
    const size_t end = LineEnd(data, at);
    const std::string_view line = data.substr(at, end - at);
    std::string_view name;
    const bool header = HeaderName(line, name);
    if (header) current = &Add(name);
    current->lines.emplace_back(line);
    if (!header) current->IndexLine(current->lines.size() - 1);
    ++m_lineCount;
    at = end;
  }
  m_bytes = data.size();
}

ProfileText::~ProfileText() = default;
ProfileText::ProfileText(ProfileText&&) noexcept = default;
ProfileText& ProfileText::operator=(ProfileText&&) noexcept = default;

std::string ProfileText::Serialize() const {
  std::string data;
  data.reserve(m_bytes);
  for (const auto& section : m_sections) {
    for (const std::string& line : section->lines) data += line;
  }
  return data;
}

ProfileText::Section* ProfileText::Find(std::string_view name) const {
  const auto found = m_byName.find(LowerName(Trim(name)));
  return found == m_byName.end() ? nullptr : m_sections[found->second].get();
}

ProfileText::Section& ProfileText::Add(std::string_view name) {
  m_sections.push_back(std::make_unique<Section>());
  Section& section = *m_sections.back();
  section.name = name;
  section.hasHeader = true;
  m_byName.emplace(LowerName(name), m_sections.size() - 1);
  return section;
}

void ProfileText::Reindex() {
  m_byName.clear();
  for (size_t i = 1; i < m_sections.size(); ++i) {
    if (m_sections[i]->hasHeader) m_byName.emplace(LowerName(m_sections[i]->name), i);
  }
}

void ProfileText::EnsureTerminated(std::string& line) {
  if (!line.empty() && line.back() != '\n' && line.back() != '\r') {
    line += kEol;
    m_bytes += kEol.size();
  }
}

void ProfileText::Replace(std::string& line, std::string replacement) {
  m_bytes = m_bytes - line.size() + replacement.size();
  line = std::move(replacement);
}

ProfileText::Section& ProfileText::AddAtEnd(std::string_view name) {
  // Sections written here are separated by one blank line, as files of this kind usually are.
  // The last line the file still has (deleted lines are empty) decides.
  for (auto section = m_sections.rbegin(); section != m_sections.rend(); ++section) {
    Lines& lines = (*section)->lines;
    const auto last = std::find_if(lines.rbegin(), lines.rend(),
                                   [](const std::string& line) { return !line.empty(); });
    if (last == lines.rend()) continue;
    EnsureTerminated(*last);
    if (!IsBlankLine(*last)) {
      lines.emplace_back(kEol);
      m_bytes += kEol.size();
      ++m_lineCount;
    }
    break;
  }
  Section& section = Add(name);
  std::string header = "[" + std::string(name) + "]" + std::string(kEol);
  m_bytes += header.size();
  ++m_lineCount;
  section.lines.push_back(std::move(header));
  return section;
}

std::optional<std::string_view> ProfileText::Value(std::string_view section,
                                                   std::string_view key) const {
  const Section* found = Find(section);
  if (found == nullptr) return std::nullopt;
  const std::string* line = found->FindLine(Trim(key));
  if (line == nullptr) return std::nullopt;
  std::string_view name, value;
  KeyLine(*line, name, value);
  value = Unquote(value);
  // A C string ends at the first zero byte.
  return value.substr(0, std::min(value.size(), value.find('\0')));
}

std::vector<std::string_view> ProfileText::SectionNames() const {
  std::vector<std::string_view> names;
  for (const auto& section : m_sections) {
    if (section->hasHeader) names.push_back(section->name);
  }
  return names;
}

std::vector<std::string_view> ProfileText::KeyNames(std::string_view sectionName) const {
  std::vector<std::string_view> names;
  const Section* section = Find(sectionName);
  if (section == nullptr) return names;
  // The header line is no key, even when text after its "]" holds a "=".
  for (size_t at = section->hasHeader ? 1 : 0; at < section->lines.size(); ++at) {
    std::string_view key, value;
    if (KeyLine(section->lines[at], key, value)) names.push_back(key);
  }
  return names;
}

bool ProfileText::Set(std::string_view sectionName, std::string_view key, std::string_view value) {
  Section* section = Find(sectionName);
  if (section == nullptr) section = &AddAtEnd(Trim(sectionName));
  key = Trim(key);
  const auto found = section->keys.find(key);
  if (found == section->keys.end()) {
    // A new key goes after the last line of its section that is not blank, so the blank line
    // that usually separates sections stays in front of the next header.
    size_t at = section->lines.size();
    while (at > 0 && IsBlankLine(section->lines[at - 1])) --at;
    if (at > 0) EnsureTerminated(section->lines[at - 1]);
    std::string line = KeyValueLine(key, value);
    m_bytes += line.size();
    ++m_lineCount;
    section->lines.insert(section->lines.begin() + static_cast<std::ptrdiff_t>(at),
                          std::move(line));
    section->IndexLine(at);
    return true;
  }
  std::string& line = section->lines[*found];
  std::string_view name, stored;
  KeyLine(line, name, stored);
  // An unchanged value leaves the line as it was written, spacing and line end included.
  if (stored == value) return false;
  Replace(line, KeyValueLine(name, value));
  return true;
}

bool ProfileText::Delete(std::string_view sectionName, std::string_view key) {
  Section* section = Find(sectionName);
  if (section == nullptr) return false;
  const auto found = section->keys.find(Trim(key));
  if (found == section->keys.end()) return false;
  const uint32_t at = *found;
  section->keys.erase(found);
  Replace(section->lines[at], std::string());
  // A later line with the same name now answers for the key.
  for (size_t i = at + 1; i < section->lines.size(); ++i) section->IndexLine(i);
  return true;
}

bool ProfileText::DeleteSection(std::string_view sectionName) {
  Section* section = Find(sectionName);
  if (section == nullptr) return false;
  for (std::string& line : section->lines) Replace(line, std::string());
  section->keys.clear();
  section->lines.clear();
  section->hasHeader = false;
  Reindex();
  return true;
}

size_t CountProfileLines(std::string_view data) {
  size_t count = 0;
  for (size_t at = 0; at < data.size(); at = LineEnd(data, at)) ++count;
  return count;
}

bool ValidProfileWrite(const char* section, const char* key, const char* value) {
  if (section == nullptr || HasLineBreak(section)) return false;
  if (key != nullptr) {
    const std::string_view name = Trim(key);
    if (HasLineBreak(name) || name.find('=') != name.npos) return false;
    if (!name.empty() && (name.front() == '[' || name.front() == ';')) return false;
  }
  return value == nullptr || !HasLineBreak(value);
}

unsigned ParseProfileUnsigned(std::string_view value) {
  size_t at = 0;
  const bool negative = !value.empty() && value[0] == '-';
  if (!value.empty() && (value[0] == '-' || value[0] == '+')) at = 1;
  uint32_t result = 0;  // wraps as the Windows conversion does; no overflow trap
  for (; at < value.size() && value[at] >= '0' && value[at] <= '9'; ++at) {
    result = result * 10u + static_cast<uint32_t>(value[at] - '0');
  }
  return negative ? 0u - result : result;
}

std::string QuotedIfNeeded(std::string_view value) {
  if (Unquote(Trim(value)) == value) return std::string(value);
  std::string quoted;
  quoted.reserve(value.size() + 2);
  quoted.append("\"").append(value).append("\"");
  return quoted;
}

}  // namespace tarnex
