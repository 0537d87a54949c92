#include "config/display_table.h"

#include <algorithm>
#include <array>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "config/config_keys.h"

namespace tarnex {
namespace {

namespace keys = config_keys;

using OctetSections = std::array<const char*, 4>;

// The twenty octet fields, in the order they are read and written.
template <typename Record, typename Visit>
void ForEachOctet(Record& record, Visit visit) {
  const std::array<std::pair<const OctetSections*, decltype(&record.m_ipAddress)>, 5> fields = {{
      {&keys::kIpAddressFild, &record.m_ipAddress},
      {&keys::kSubnetMaskFild, &record.m_subnetMask},
      {&keys::kGatewayFild, &record.m_gateway},
      {&keys::kPrimaryDnsFild, &record.m_primaryDns},
      {&keys::kSecondaryDnsFild, &record.m_secondaryDns},
  }};
  for (const auto& [sections, octets] : fields) {
    for (size_t i = 0; i < 4; ++i) visit((*sections)[i], (*octets)[i]);
  }
}

// Longer than any "PJLINK <address>" this console writes: such a value is not one of its own.
constexpr size_t kMaxLinkKindChars = 64;

constexpr std::array<std::pair<std::string_view, LinkKind>, 2> kKindWords = {{
    {"NATIVE", LinkKind::kNative},
    {"PJLINK", LinkKind::kPjlink},
}};

struct StoredKind {
  LinkKind kind;
  std::string address;
};

std::optional<StoredKind> ParseLinkKind(std::string_view value) {
  if (value.size() > kMaxLinkKindChars) return std::nullopt;
  for (const auto& [word, kind] : kKindWords) {
    if (value.size() > word.size() + 1 && value.starts_with(word) && value[word.size()] == ' ') {
      return StoredKind{kind, std::string(value.substr(word.size() + 1))};
    }
  }
  return std::nullopt;
}

std::string_view KindWord(LinkKind kind) {
  return kind == LinkKind::kPjlink ? kKindWords[1].first : kKindWords[0].first;
}

size_t Rows(const std::vector<DisplayRecord>& records, int count) {
  return std::min(records.size(), static_cast<size_t>(std::max(count, 0)));
}

}  // namespace

void ReadDisplayRecord(const ProfileFile& file, int index, DisplayRecord& record) {
  record.m_address = file.Text(keys::kSingle, index);
  record.m_compactMac = file.Text(keys::kMacAddressList, index);
  record.m_ipMode = file.Text(keys::kIpMode, index);
  record.m_displayMac = file.Text(keys::kDisplayMacList, index);
  record.m_label = file.Text(keys::kTreeName, index);
  ForEachOctet(record,
               [&](const char* section, std::string& octet) { octet = file.Text(section, index); });
}

void WriteDisplayRecord(ProfileFile& file, int index, const DisplayRecord& record) {
  file.Put(keys::kTreeName, index, record.m_label);
  file.Put(keys::kSingle, index, record.m_address);
  file.Put(keys::kMacAddressList, index, record.m_compactMac);
  file.Put(keys::kIpMode, index, record.m_ipMode);
  file.Put(keys::kDisplayMacList, index, record.m_displayMac);
  ForEachOctet(record, [&](const char* section, const std::string& octet) {
    file.Put(section, index, octet);
  });
}

// Every key up to the table's capacity is read, not only those below the count: a delete by an
// older writer leaves the last display's kind one key past the new count.
void ReadLinkKinds(const ProfileFile& file, std::vector<DisplayRecord>& records, int count) {
  std::vector<std::optional<StoredKind>> stored(records.size());
  std::unordered_map<std::string, LinkKind> byAddress;
  for (size_t key = 0; key < stored.size(); ++key) {
    stored[key] = ParseLinkKind(file.Text(keys::kLinkKind, static_cast<long long>(key)));
    if (stored[key]) byAddress.emplace(stored[key]->address, stored[key]->kind);
  }
  for (size_t row = 0; row < Rows(records, count); ++row) {
    DisplayRecord& record = records[row];
    const auto found = byAddress.find(record.m_address);
    if (stored[row] && stored[row]->address == record.m_address) {
      record.m_linkKind = stored[row]->kind;
    } else {
      record.m_linkKind = found != byAddress.end() ? found->second : LinkKind::kNative;
    }
  }
}

void WriteLinkKinds(ProfileFile& file, const std::vector<DisplayRecord>& records, int count) {
  const size_t rows = Rows(records, count);
  std::vector<bool> held(records.size());
  for (size_t key = 0; key < held.size(); ++key) {
    held[key] = !file.Text(keys::kLinkKind, static_cast<long long>(key)).empty();
  }
  const auto end = records.begin() + static_cast<std::ptrdiff_t>(rows);
  const bool pjlink = std::any_of(records.begin(), end, [](const DisplayRecord& record) {
    return record.m_linkKind == LinkKind::kPjlink;
  });
  if (!pjlink && std::find(held.begin(), held.end(), true) == held.end()) return;
  for (size_t row = 0; row < rows; ++row) {
    const DisplayRecord& record = records[row];
    file.Put(keys::kLinkKind, static_cast<long long>(row),
             std::string(KindWord(record.m_linkKind)) + " " + record.m_address);
  }
  for (size_t key = rows; key < held.size(); ++key) {
    if (held[key]) file.Put(keys::kLinkKind, static_cast<long long>(key), "");
  }
}

}  // namespace tarnex
