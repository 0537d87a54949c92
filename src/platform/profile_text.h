#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tarnex {

// The text of one INI file, parsed so that single keys can be read and changed while every
// line nobody changed is written back byte for byte. Names compare without regard to ASCII
// case; names and values are trimmed of blanks, and a value in a matching pair of quotes reads
// without them. Values are bytes; nothing assumes UTF-8. No I/O happens here.
class ProfileText {
 public:
  ProfileText();
  // Lines end at CR LF, LF or a lone CR; each keeps its own ending.
  explicit ProfileText(std::string_view data);
  ~ProfileText();
  ProfileText(ProfileText&&) noexcept;
  ProfileText& operator=(ProfileText&&) noexcept;

  std::string Serialize() const;

  // The value as a reader sees it (trimmed, unquoted, cut at a zero byte); none when the
  // section or the key is missing. Valid until the next edit.
  std::optional<std::string_view> Value(std::string_view section, std::string_view key) const;
  std::vector<std::string_view> SectionNames() const;
  std::vector<std::string_view> KeyNames(std::string_view section) const;

  // Sets "key=value" and CR LF: an existing key is replaced where it stands (keeping the
  // spelling of its name), a new key goes after the last line of its section that is not
  // blank, a new section to the end of the file. `value` is stored as given. Each returns
  // true when the text changed.
  bool Set(std::string_view section, std::string_view key, std::string_view value);
  bool Delete(std::string_view section, std::string_view key);
  bool DeleteSection(std::string_view section);

  size_t Bytes() const { return m_bytes; }
  size_t LineCount() const { return m_lineCount; }

 private:
  struct Section;
  Section* Find(std::string_view name) const;
  Section& Add(std::string_view name);
  Section& AddAtEnd(std::string_view name);
  void Reindex();
  void EnsureTerminated(std::string& line);
  void Replace(std::string& line, std::string replacement);

  // m_sections[0] holds the lines before the first header; no name finds it.
  std::vector<std::unique_ptr<Section>> m_sections;
  std::unordered_map<std::string, size_t> m_byName;  // lower-case name -> first such section
  size_t m_bytes = 0;
  size_t m_lineCount = 0;  // deleted lines included
};

size_t CountProfileLines(std::string_view data);

// Whether a write of these names and value can be stored and read back as one key: no line
// breaks anywhere, and no key name that would read as a header, a comment or another key.
// A null key names a whole section, a null value a deletion.
bool ValidProfileWrite(const char* section, const char* key, const char* value);

// The value read as a decimal integer: an optional sign and the digits that follow, up to
// the first other byte ("42A" is 42, "B42" is 0); a negative value as its unsigned two's
// complement, wrapping as the Windows conversion does.
unsigned ParseProfileUnsigned(std::string_view value);

// The form to store so that a reader gets `value` back: a value that a reader would trim or
// unquote is wrapped in one more pair of double quotes; any other value is stored as it is.
std::string QuotedIfNeeded(std::string_view value);

}  // namespace tarnex
