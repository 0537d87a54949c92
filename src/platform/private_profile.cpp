#include "platform/private_profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "platform/atomic_file.h"

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

// ---- A parsed file ---------------------------------------------------------------------

using Lines = std::vector<std::string>;

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

// A section's lines, its "[name]" header first. Deleted lines stay as empty strings so that
// positions in the key index remain valid. The section is never moved: the index points at it.
struct Section {
  Section() : keys(0, KeyHash{&lines}, KeyEqual{&lines}) {}
  Section(const Section&) = delete;
  Section& operator=(const Section&) = delete;

  std::string name;
  bool hasHeader = false;
  Lines lines;
  std::unordered_set<uint32_t, KeyHash, KeyEqual> keys;

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

struct ProfileText {
  // sections[0] holds the lines before the first header; no name finds it.
  std::vector<std::unique_ptr<Section>> sections;
  std::unordered_map<std::string, size_t> byName;  // lower-case name -> first such section
  size_t bytes = 0;
  size_t lineCount = 0;  // deleted lines included

  ProfileText() { sections.push_back(std::make_unique<Section>()); }

  Section* Find(std::string_view name) const {
    const auto found = byName.find(LowerName(name));
    return found == byName.end() ? nullptr : sections[found->second].get();
  }

  Section& Add(std::string_view name) {
    sections.push_back(std::make_unique<Section>());
    Section& section = *sections.back();
    section.name = name;
    section.hasHeader = true;
    byName.emplace(LowerName(name), sections.size() - 1);
    return section;
  }

  void Reindex() {
    byName.clear();
    for (size_t i = 1; i < sections.size(); ++i) {
      if (sections[i]->hasHeader) byName.emplace(LowerName(sections[i]->name), i);
    }
  }
};

// A line ends at CR LF, LF or a lone CR; the terminator stays with the line.
size_t LineEnd(std::string_view data, size_t from) {
  const size_t stop = data.find_first_of("\r\n", from);
  if (stop == std::string_view::npos) return data.size();
  if (data[stop] == '\r' && stop + 1 < data.size() && data[stop + 1] == '\n') return stop + 2;
  return stop + 1;
}

size_t CountLines(std::string_view data) {
  size_t count = 0;
  for (size_t at = 0; at < data.size(); at = LineEnd(data, at)) ++count;
  return count;
}

void Parse(std::string_view data, ProfileText& text) {
  Section* current = text.sections.front().get();
  for (size_t at = 0; at < data.size();) {
    const size_t end = LineEnd(data, at);
    const std::string_view line = data.substr(at, end - at);
    std::string_view name;
    const bool header = HeaderName(line, name);
    if (header) current = &text.Add(name);
    current->lines.emplace_back(line);
    if (!header) current->IndexLine(current->lines.size() - 1);
    at = end;
  }
  text.bytes = data.size();
  text.lineCount = CountLines(data);
}

std::string Serialize(const ProfileText& text) {
  std::string data;
  data.reserve(text.bytes);
  for (const auto& section : text.sections) {
    for (const std::string& line : section->lines) data += line;
  }
  return data;
}

// ---- Edits -----------------------------------------------------------------------------

void EnsureTerminated(std::string& line, ProfileText& text) {
  if (!line.empty() && line.back() != '\n' && line.back() != '\r') {
    line += kEol;
    text.bytes += kEol.size();
  }
}

std::string KeyValueLine(std::string_view key, std::string_view value) {
  std::string line;
  line.reserve(key.size() + value.size() + 3);
  line.append(key).append("=").append(value).append(kEol);
  return line;
}

// A new key goes after the last line of its section that is not blank, so the blank line that
// usually separates sections stays in front of the next header.
void AppendKey(Section& section, ProfileText& text, std::string line) {
  size_t at = section.lines.size();
  while (at > 0 && IsBlankLine(section.lines[at - 1])) --at;
  if (at > 0) EnsureTerminated(section.lines[at - 1], text);
  text.bytes += line.size();
  ++text.lineCount;
  section.lines.insert(section.lines.begin() + static_cast<std::ptrdiff_t>(at), std::move(line));
  section.IndexLine(at);
}

void ReplaceLine(std::string& line, std::string replacement, ProfileText& text) {
  text.bytes = text.bytes - line.size() + replacement.size();
  line = std::move(replacement);
}

// The last line the file still has (deleted lines are empty), and its section.
std::string* LastLine(ProfileText& text, Section*& owner) {
  for (auto section = text.sections.rbegin(); section != text.sections.rend(); ++section) {
    Lines& lines = (*section)->lines;
    for (auto line = lines.rbegin(); line != lines.rend(); ++line) {
      if (line->empty()) continue;
      owner = section->get();
      return &*line;
    }
  }
  return nullptr;
}

Section& AddSectionAtEnd(ProfileText& text, std::string_view name) {
  // Sections written here are separated by one blank line, as files of this kind usually are.
  Section* owner = nullptr;
  if (std::string* last = LastLine(text, owner)) {
    EnsureTerminated(*last, text);
    if (!IsBlankLine(*last)) {
      owner->lines.emplace_back(kEol);
      text.bytes += kEol.size();
      ++text.lineCount;
    }
  }
  Section& section = text.Add(name);
  std::string header = "[" + std::string(name) + "]" + std::string(kEol);
  text.bytes += header.size();
  ++text.lineCount;
  section.lines.push_back(std::move(header));
  return section;
}

// Returns true when the text changed.
bool SetKey(ProfileText& text, std::string_view sectionName, std::string_view key,
            std::string_view value) {
  Section* section = text.Find(sectionName);
  if (section == nullptr) section = &AddSectionAtEnd(text, sectionName);
  const auto found = section->keys.find(key);
  if (found == section->keys.end()) {
    AppendKey(*section, text, KeyValueLine(key, value));
    return true;
  }
  std::string& line = section->lines[*found];
  std::string_view name, stored;
  KeyLine(line, name, stored);
  // An unchanged value leaves the line as it was written, spacing and line end included.
  if (stored == value) return false;
  // The name keeps the spelling the file already had.
  ReplaceLine(line, KeyValueLine(name, value), text);
  return true;
}

bool DeleteKey(ProfileText& text, std::string_view sectionName, std::string_view key) {
  Section* section = text.Find(sectionName);
  if (section == nullptr) return false;
  const auto found = section->keys.find(key);
  if (found == section->keys.end()) return false;
  const uint32_t at = *found;
  section->keys.erase(found);
  ReplaceLine(section->lines[at], std::string(), text);
  // A later line with the same name now answers for the key.
  for (size_t i = at + 1; i < section->lines.size(); ++i) section->IndexLine(i);
  return true;
}

bool DeleteSection(ProfileText& text, std::string_view sectionName) {
  Section* section = text.Find(sectionName);
  if (section == nullptr) return false;
  for (std::string& line : section->lines) ReplaceLine(line, std::string(), text);
  section->keys.clear();
  section->lines.clear();
  section->hasHeader = false;
  text.Reindex();
  return true;
}

// ---- Values ----------------------------------------------------------------------------

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  return value;
}

bool FindValue(const ProfileText& text, std::string_view section, std::string_view key,
               std::string_view& value) {
  const Section* found = text.Find(section);
  if (found == nullptr) return false;
  const std::string* line = found->FindLine(key);
  if (line == nullptr) return false;
  std::string_view name;
  KeyLine(*line, name, value);
  value = Unquote(value);
  // A C string ends at the first zero byte.
  value = value.substr(0, std::min(value.size(), value.find('\0')));
  return true;
}

unsigned CopyOut(std::string_view value, char* buffer, unsigned size) {
  const size_t count = std::min<size_t>(value.size(), size - 1);
  std::memcpy(buffer, value.data(), count);
  buffer[count] = '\0';
  return static_cast<unsigned>(count);
}

// Each name followed by a zero byte, the list by one more. A list that does not fit is cut
// and still ends in two zero bytes; the count is then size - 2.
unsigned CopyList(const std::vector<std::string_view>& names, char* buffer, unsigned size) {
  std::string list;
  for (std::string_view name : names) list.append(name).push_back('\0');
  if (list.size() + 1 <= size) {
    std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<unsigned>(list.size());
  }
  if (size < 2) {
    buffer[0] = '\0';
    return 0;
  }
  std::memcpy(buffer, list.data(), size - 2);
  buffer[size - 2] = '\0';
  buffer[size - 1] = '\0';
  return size - 2;
}

std::vector<std::string_view> SectionNames(const ProfileText& text) {
  std::vector<std::string_view> names;
  for (const auto& section : text.sections) {
    if (section->hasHeader) names.push_back(section->name);
  }
  return names;
}

std::vector<std::string_view> KeyNames(const ProfileText& text, std::string_view sectionName) {
  std::vector<std::string_view> names;
  const Section* section = text.Find(sectionName);
  if (section == nullptr) return names;
  for (const std::string& line : section->lines) {
    std::string_view key, value;
    if (KeyLine(line, key, value)) names.push_back(key);
  }
  return names;
}

unsigned ParseUnsigned(std::string_view value) {
  size_t at = 0;
  const bool negative = !value.empty() && value[0] == '-';
  if (!value.empty() && (value[0] == '-' || value[0] == '+')) at = 1;
  uint32_t result = 0;  // wraps as the Windows conversion does; no overflow trap
  for (; at < value.size() && value[at] >= '0' && value[at] <= '9'; ++at) {
    result = result * 10u + static_cast<uint32_t>(value[at] - '0');
  }
  return negative ? 0u - result : result;
}

// ---- The cache of parsed files -----------------------------------------------------------

struct FileStamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};

  bool operator==(const FileStamp& other) const {
    return exists == other.exists && device == other.device && inode == other.inode &&
           size == other.size && modified.tv_sec == other.modified.tv_sec &&
           modified.tv_nsec == other.modified.tv_nsec;
  }
};

FileStamp StampOf(const struct stat& info) {
  return FileStamp{true, info.st_dev, info.st_ino, info.st_size, info.st_mtim};
}

bool StatPath(const std::string& path, FileStamp& stamp, bool& readable) {
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    stamp = StampOf(info);
    readable =
        S_ISREG(info.st_mode) && static_cast<unsigned long>(info.st_size) <= kMaxProfileBytes;
    return true;
  }
  stamp = FileStamp{};
  readable = errno == ENOENT;
  return readable;
}

struct CachedFile {
  ProfileText text;
  FileStamp stamp;
  bool loaded = false;
  bool readable = false;  // false: too large or unreadable; reads give defaults, writes fail
  bool dirty = false;
  int batchDepth = 0;
  bool ownerOnly = false;
};

bool ReadWhole(int fd, std::string& data, size_t size) {
  data.resize(size);
  size_t got = 0;
  while (got < size) {
    const ssize_t n = ::read(fd, data.data() + got, size - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    got += static_cast<size_t>(n);
  }
  data.resize(got);
  // A file that grew while being read is read again on its next use (its stamp differs).
  return true;
}

void Load(const std::string& path, CachedFile& file) {
  file.text = ProfileText();
  file.loaded = true;
  file.dirty = false;
  file.readable = false;
  // Non-blocking, so that a FIFO put where a file belongs cannot hang the console.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    file.stamp = FileStamp{};
    file.readable = errno == ENOENT;
    return;
  }
  struct stat info {};
  std::string data;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<unsigned long>(info.st_size) <= kMaxProfileBytes &&
      ReadWhole(fd, data, static_cast<size_t>(info.st_size)) &&
      CountLines(data) <= kMaxProfileLines) {
    file.stamp = StampOf(info);
    file.readable = true;
    Parse(data, file.text);
  }
  ::close(fd);
}

class ProfileCache {
 public:
  static ProfileCache& Instance() {
    static ProfileCache cache;
    return cache;
  }

  std::mutex& Mutex() { return m_mutex; }

  // The parsed file, read again when the disk no longer matches it. Inside a batch the disk
  // was checked when the batch began, and pending writes always win over the disk.
  CachedFile& Use(const std::string& path) {
    std::unique_ptr<CachedFile>& slot = m_files[path];
    if (!slot) slot = std::make_unique<CachedFile>();
    CachedFile& file = *slot;
    if (file.loaded && (file.dirty || file.batchDepth > 0)) return file;
    FileStamp stamp;
    bool readable = false;
    const bool statted = StatPath(path, stamp, readable);
    if (!file.loaded || !statted || !(stamp == file.stamp) || readable != file.readable) {
      Load(path, file);
    }
    return file;
  }

  CachedFile* Find(const std::string& path) {
    const auto found = m_files.find(path);
    return found == m_files.end() ? nullptr : found->second.get();
  }

  void DropClean() {
    std::erase_if(m_files, [](const auto& entry) {
      return !entry.second->dirty && entry.second->batchDepth == 0;
    });
  }

 private:
  std::mutex m_mutex;
  std::unordered_map<std::string, std::unique_ptr<CachedFile>> m_files;
};

// Writes the parsed file if it has pending changes. On failure the pending changes are
// dropped, so that what is read afterwards is what the disk holds.
bool Flush(const std::string& path, CachedFile& file) {
  if (!file.dirty) return true;
  const mode_t mode = file.ownerOnly ? 0600 : kKeepMode;
  const bool written = WriteFileAtomically(path, Serialize(file.text), mode);
  file.dirty = false;
  file.loaded = written;
  if (written) {
    bool readable = false;
    StatPath(path, file.stamp, readable);
  } else {
    file.text = ProfileText();
  }
  return written;
}

bool ValidWrite(const char* section, const char* key, const char* value) {
  if (section == nullptr || HasLineBreak(section)) return false;
  if (key != nullptr) {
    const std::string_view name = Trim(key);
    if (HasLineBreak(name) || name.find('=') != name.npos) return false;
    if (!name.empty() && (name.front() == '[' || name.front() == ';')) return false;
  }
  return value == nullptr || !HasLineBreak(value);
}

// A file past the bounds could not be read back, so a write that might grow it that far is
// refused. The estimates are upper bounds of what one write adds.
bool Fits(const ProfileText& text, const char* section, const char* key, const char* value) {
  const size_t added = std::strlen(section) + (key ? std::strlen(key) : 0) +
                       (value ? std::strlen(value) : 0) + 3 * kEol.size() + 3;
  return text.bytes + added <= kMaxProfileBytes && text.lineCount + 3 <= kMaxProfileLines;
}

bool Apply(ProfileText& text, const char* section, const char* key, const char* value) {
  const std::string_view sectionName = Trim(section);
  if (key == nullptr) return DeleteSection(text, sectionName);
  if (value == nullptr) return DeleteKey(text, sectionName, Trim(key));
  return SetKey(text, sectionName, Trim(key), value);
}

}  // namespace

unsigned GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue,
                                  char* buffer, unsigned size, const char* file) {
  if (buffer == nullptr || size == 0) return 0;
  if (file != nullptr) {
    ProfileCache& cache = ProfileCache::Instance();
    std::lock_guard lock(cache.Mutex());
    const ProfileText& text = cache.Use(file).text;
    if (section == nullptr) return CopyList(SectionNames(text), buffer, size);
    if (key == nullptr) return CopyList(KeyNames(text, Trim(section)), buffer, size);
    std::string_view value;
    if (FindValue(text, Trim(section), Trim(key), value)) return CopyOut(value, buffer, size);
  }
  std::string_view fallback = defaultValue == nullptr ? "" : defaultValue;
  while (!fallback.empty() && fallback.back() == ' ') fallback.remove_suffix(1);
  return CopyOut(fallback, buffer, size);
}

unsigned GetPrivateProfileIntA(const char* section, const char* key, int defaultValue,
                               const char* file) {
  const unsigned fallback = static_cast<unsigned>(defaultValue);
  if (section == nullptr || key == nullptr || file == nullptr) return fallback;
  ProfileCache& cache = ProfileCache::Instance();
  std::lock_guard lock(cache.Mutex());
  std::string_view value;
  if (!FindValue(cache.Use(file).text, Trim(section), Trim(key), value) || value.empty()) {
    return fallback;
  }
  return ParseUnsigned(value);
}

unsigned WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                    const char* file) {
  if (file == nullptr || !ValidWrite(section, key, value)) return 0;
  ProfileCache& cache = ProfileCache::Instance();
  std::lock_guard lock(cache.Mutex());
  CachedFile& cached = cache.Use(file);
  if (!cached.readable) return 0;
  if (!Fits(cached.text, section, key, value)) return 0;
  if (!Apply(cached.text, section, key, value)) return 1;
  cached.dirty = true;
  if (cached.batchDepth > 0) return 1;
  return Flush(file, cached) ? 1 : 0;
}

ProfileBatch::ProfileBatch(std::string path, ProfileAccess access) : m_path(std::move(path)) {
  ProfileCache& cache = ProfileCache::Instance();
  std::lock_guard lock(cache.Mutex());
  CachedFile& file = cache.Use(m_path);
  ++file.batchDepth;
  if (access == ProfileAccess::kOwnerOnly) file.ownerOnly = true;
}

ProfileBatch::~ProfileBatch() {
  Commit();
}

bool ProfileBatch::Commit() {
  if (!m_open) return true;
  m_open = false;
  ProfileCache& cache = ProfileCache::Instance();
  std::lock_guard lock(cache.Mutex());
  CachedFile* file = cache.Find(m_path);
  if (file == nullptr) return true;
  if (--file->batchDepth > 0) return true;
  return Flush(m_path, *file);
}

void DropPrivateProfileCache() {
  ProfileCache& cache = ProfileCache::Instance();
  std::lock_guard lock(cache.Mutex());
  cache.DropClean();
}

}  // namespace tarnex
