#include "config/display_table.h"

#include <array>

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

}  // namespace tarnex
