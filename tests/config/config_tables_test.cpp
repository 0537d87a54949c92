#include <gtest/gtest.h>

#include <array>
#include <string>
#include <utility>
#include <vector>

#include "config/config_fixture.h"
#include "config/network_manager_doc.h"
#include "platform/private_profile.h"

namespace tarnex {
namespace {

using testing::ConfigTest;
using testing::ReadBytes;
using testing::WriteBytes;

std::string Stored(const std::string& file, const char* section, int key) {
  char buffer[256];
  const unsigned n = GetPrivateProfileStringA(section, std::to_string(key).c_str(), "<none>",
                                              buffer, sizeof buffer, file.c_str());
  return std::string(buffer, n);
}

void AddGroup(COsprelNetworkManagerDoc& doc, const std::string& name, int members) {
  const int g = doc.m_docGroupNumCount++;
  doc.m_docGroupName[static_cast<size_t>(g)] = name;
  doc.SetGroupMemberCount(g, members);
  for (int m = 0; m < members; ++m) {
    doc.m_docGroups[static_cast<size_t>(g)].m_labels[static_cast<size_t>(m)] =
        "[" + std::to_string(m + 1) + "]" + name + std::to_string(m);
    doc.m_docGroups[static_cast<size_t>(g)].m_addresses[static_cast<size_t>(m)] =
        name + std::to_string(m);
  }
}

DisplayRecord Display(int i) {
  DisplayRecord record;
  record.m_address = "192.168.0." + std::to_string(i);
  record.m_label = "[Room " + std::to_string(i) + "]" + record.m_address;
  record.m_compactMac = "0011223344" + std::to_string(10 + i);
  record.m_displayMac = "00 - 11 - 22 - 33 - 44 - " + std::to_string(10 + i);
  record.m_ipMode = "DHCP";
  for (size_t o = 0; o < 4; ++o) {
    record.m_ipAddress[o] = std::to_string(i + static_cast<int>(o));
    record.m_subnetMask[o] = "255";
    record.m_gateway[o] = std::to_string(o);
    record.m_primaryDns[o] = "8";
    record.m_secondaryDns[o] = "4";
  }
  return record;
}

class GroupKeyTest : public ConfigTest {};

TEST_F(GroupKeyTest, MemberKeysRunOnAcrossGroups) {
  COsprelNetworkManagerDoc doc;
  AddGroup(doc, "a", 3);
  AddGroup(doc, "b", 0);
  AddGroup(doc, "c", 2);
  ASSERT_TRUE(doc.WriteNetworkConfig());
  const std::string file = NetworkFile();
  const std::vector<std::string> expected = {"a0", "a1", "a2", "c0", "c1", "<none>"};
  for (int k = 0; k < 6; ++k) EXPECT_EQ(Stored(file, "GROUPIPLIST", k), expected[size_t(k)]);
  EXPECT_EQ(Stored(file, "GROUPCHILDCOUNT", 1), "0");

  COsprelNetworkManagerDoc back;
  back.OnNewDocument();
  ASSERT_EQ(back.m_docGroupNumCount, 3);
  EXPECT_EQ(back.m_docGroups[0], doc.m_docGroups[0]);
  EXPECT_TRUE(back.m_docGroups[1].m_labels.empty());
  EXPECT_EQ(back.m_docGroups[2].m_addresses, (std::vector<std::string>{"c0", "c1"}));
  EXPECT_EQ(back.m_docGroups[2].m_labels[1], "[2]c1");
}

TEST_F(GroupKeyTest, NetworkConfigurationRoundTrips) {
  COsprelNetworkManagerDoc doc;
  doc.m_docSocketNumber = 25;
  for (int i = 0; i < 25; ++i) doc.m_docDisplays[size_t(i)] = Display(i);
  AddGroup(doc, "Lobby", 4);
  AddGroup(doc, "Hall", 7);
  doc.m_docAlarmSubject = "subject";
  doc.m_docAlarmTo = "to@example.org";
  doc.m_docAlarmFrom = "from@example.org";
  doc.m_docAlarmServer = "mail.example.org";
  ASSERT_TRUE(doc.WriteNetworkConfig());

  COsprelNetworkManagerDoc back;
  back.OnNewDocument();
  back.ReadAlarmSettings();
  EXPECT_EQ(back.m_docSocketNumber, 25);
  EXPECT_EQ(back.m_docDisplays, doc.m_docDisplays);
  EXPECT_EQ(back.m_docGroupNumCount, 2);
  EXPECT_EQ(back.m_docGroupName, doc.m_docGroupName);
  EXPECT_EQ(back.m_docGroups, doc.m_docGroups);
  EXPECT_EQ(back.m_docAlarmServer, "mail.example.org");
  EXPECT_EQ(back.m_docAlarmTo, "to@example.org");
  // The serial file carries a copy of the alarm settings.
  EXPECT_NE(ReadBytes(SerialFile()).find("SMTPServer=mail.example.org\r\n"), std::string::npos);
}

TEST_F(GroupKeyTest, SerialConfigurationRoundTrips) {
  COsprelNetworkManagerDoc doc;
  doc.m_docCommunicationSelect = 2;
  doc.m_docPortStr = "\\\\.\\COM5";
  doc.m_docBaudrate = 115200;
  doc.m_docData = 7;
  doc.m_docStop = 2;
  doc.m_docParity = 1;
  doc.m_docPortInt = 4;
  doc.m_docBaudrateInt = 7;
  doc.m_docDataInt = 2;
  doc.m_docStopInt = 1;
  doc.m_docParityInt = 1;
  doc.m_docSerialGroupNumCount = 2;
  doc.m_docGroupName[0] = "East";
  doc.m_docGroupName[1] = "West";
  doc.SetSerialGroupMemberCount(0, 2);
  doc.SetSerialGroupMemberCount(1, 100);
  doc.m_docSerialGroups[0].m_labels = {"[1]PJTR 1", "[2]PJTR 2"};
  doc.m_docSerialGroups[0].m_addresses = {"PJTR 1", "PJTR 2"};
  doc.m_docSerialGroups[1].m_labels[99] = "[100]PJTR 99";
  ASSERT_TRUE(doc.OnCloseDocument({"a", "b"}));

  COsprelNetworkManagerDoc back;
  back.OnNewDocument();
  EXPECT_EQ(back.m_docCommunicationSelect, 2);
  EXPECT_EQ(back.m_docPortStr, "\\\\.\\COM5");
  EXPECT_EQ(back.m_docBaudrate, 115200);
  EXPECT_EQ(back.m_docData, 7);
  EXPECT_EQ(back.m_docStop, 2);
  EXPECT_EQ(back.m_docParity, 1);
  EXPECT_EQ(back.m_docPortInt, 4);
  EXPECT_EQ(back.m_docBaudrateInt, 7);
  EXPECT_EQ(back.m_docDataInt, 2);
  EXPECT_EQ(back.m_docStopInt, 1);
  EXPECT_EQ(back.m_docParityInt, 1);
  EXPECT_EQ(back.m_docSerialGroupNumCount, 2);
  EXPECT_EQ(back.m_docSerialGroups[0], doc.m_docSerialGroups[0]);
  EXPECT_EQ(back.m_docSerialGroups[1], doc.m_docSerialGroups[1]);
}

TEST_F(GroupKeyTest, KeysOfRemovedEntriesStayAndAreIgnored) {
  COsprelNetworkManagerDoc doc;
  doc.m_docSocketNumber = 3;
  for (int i = 0; i < 3; ++i) doc.m_docDisplays[size_t(i)] = Display(i);
  AddGroup(doc, "g", 3);
  ASSERT_TRUE(doc.WriteNetworkConfig());
  doc.m_docSocketNumber = 1;
  doc.SetGroupMemberCount(0, 1);
  ASSERT_TRUE(doc.WriteNetworkConfig());

  EXPECT_EQ(Stored(NetworkFile(), "SINGLE", 2), "192.168.0.2");
  EXPECT_EQ(Stored(NetworkFile(), "GROUPIPLIST", 2), "g2");
  COsprelNetworkManagerDoc back;
  back.OnNewDocument();
  EXPECT_EQ(back.m_docSocketNumber, 1);
  EXPECT_EQ(back.m_docDisplays[1], DisplayRecord{});
  EXPECT_EQ(back.m_docGroups[0].m_addresses, std::vector<std::string>{"g0"});
}

TEST_F(GroupKeyTest, HandEditedCountsAreClampedNeverIndexedPast) {
  WriteBytes(NetworkFile(),
             "[Communication]\r\nm_docCommunicationTrue=1\r\n"
             "[VALUE]\r\nm_docSocketNumber=5000\r\n"
             "[GROUPCOUNT]\r\nm_docGroupNumCount=400\r\n"
             "[GROUPCHILDCOUNT]\r\n0=1500\r\n1=-3\r\n2=2\r\n"
             "[GROUPIPLIST]\r\n0=first\r\n1499=last of 0\r\n1500=c0\r\n1501=c1\r\n");
  COsprelNetworkManagerDoc doc;
  doc.OnNewDocument();
  EXPECT_EQ(doc.m_docSocketNumber, kMaxDisplays);
  EXPECT_EQ(doc.m_docGroupNumCount, kMaxGroups);
  EXPECT_EQ(doc.m_docGroups[0].m_addresses.size(), size_t(kMaxNetworkMembers));
  EXPECT_EQ(doc.m_docGroups[0].m_addresses[0], "first");
  EXPECT_TRUE(doc.m_docGroups[1].m_addresses.empty());
  // The third group still reads its own members after the oversized first one.
  EXPECT_EQ(doc.m_docGroups[2].m_addresses, (std::vector<std::string>{"c0", "c1"}));

  WriteBytes(SerialFile(),
             "[Communication]\r\nm_docCommunicationTrue=1\r\nm_docCommunicationSelect=2\r\n"
             "[GROUPCOUNT]\r\nm_docSerialGroupNumCount=-7\r\n");
  WriteBytes(NetworkFile(), "");
  COsprelNetworkManagerDoc serial;
  serial.OnNewDocument();
  EXPECT_EQ(serial.m_docSerialGroupNumCount, 0);

  WriteBytes(SerialFile(),
             "[Communication]\r\nm_docCommunicationTrue=1\r\nm_docCommunicationSelect=2\r\n"
             "[GROUPCOUNT]\r\nm_docSerialGroupNumCount=1\r\n[GROUPCHILDCOUNT]\r\n0=999\r\n");
  COsprelNetworkManagerDoc big;
  big.OnNewDocument();
  EXPECT_EQ(big.m_docSerialGroups[0].m_labels.size(), size_t(kMaxSerialMembers));
}

// A first save lays the file out in the order the keys are written: the alarm settings,
// then the communication flags, the display table column by column, and the groups.
TEST_F(GroupKeyTest, FreshNetworkFileHasTheWritersKeyOrder) {
  COsprelNetworkManagerDoc doc;
  doc.m_docSocketNumber = 1;
  doc.m_docDisplays[0] = Display(7);
  AddGroup(doc, "g", 1);
  doc.m_docAlarmSubject = "s";
  ASSERT_TRUE(doc.WriteNetworkConfig());
  const auto section = [](const std::string& name, const std::string& keys) {
    return "[" + name + "]\r\n" + keys;
  };
  std::vector<std::string> sections = {
      section("Alarm", "Subject=s\r\nTO=\r\nFROM=\r\nSMTPServer=\r\n"),
      section("Communication", "m_docCommunicationTrue=0\r\nm_docCommunicationSelect=1\r\n"),
      section("VALUE", "m_docSocketNumber=1\r\n"),
      section("TREENAME", "0=[Room 7]192.168.0.7\r\n"),
      section("SINGLE", "0=192.168.0.7\r\n"),
      section("MacAddressList", "0=001122334417\r\n"),
      section("IPMode", "0=DHCP\r\n"),
      section("DisplayMacList", "0=00 - 11 - 22 - 33 - 44 - 17\r\n"),
  };
  const std::pair<const char*, std::array<std::string, 4>> octets[] = {
      {"IPAddressFild", {"7", "8", "9", "10"}},   {"SubnetMaskFild", {"255", "255", "255", "255"}},
      {"GatewayFild", {"0", "1", "2", "3"}},      {"PrimaryDNSFild", {"8", "8", "8", "8"}},
      {"SecondaryDnsFild", {"4", "4", "4", "4"}},
  };
  for (const auto& [name, values] : octets) {
    for (size_t o = 0; o < 4; ++o) {
      sections.push_back(section(name + std::to_string(o), "0=" + values[o] + "\r\n"));
    }
  }
  sections.push_back(section("GROUPCOUNT", "m_docGroupNumCount=1\r\n"));
  sections.push_back(section("GROUPCHILDCOUNT", "0=1\r\n"));
  sections.push_back(section("GROUPNAME", "0=g\r\n"));
  sections.push_back(section("GROUPCHILDNAME", "0=[1]g0\r\n"));
  sections.push_back(section("GROUPIPLIST", "0=g0\r\n"));
  std::string expected;
  for (const std::string& part : sections) expected += (expected.empty() ? "" : "\r\n") + part;
  EXPECT_EQ(ReadBytes(NetworkFile()), expected);
}

class FakeTree : public LabelSource {
 public:
  std::optional<std::vector<std::string>> SingleLabels() const override { return singles; }
  std::optional<std::vector<std::vector<std::string>>> GroupMemberLabels() const override {
    return members;
  }
  std::optional<std::vector<std::string>> singles;
  std::optional<std::vector<std::vector<std::string>>> members;
};

TEST_F(GroupKeyTest, SaveTakesTheTreeLabelsFirst) {
  COsprelNetworkManagerDoc doc;
  doc.m_docSocketNumber = 2;
  doc.m_docDisplays[0] = Display(0);
  doc.m_docDisplays[1] = Display(1);
  AddGroup(doc, "g", 2);
  FakeTree tree;
  tree.singles = std::vector<std::string>{"[Renamed]192.168.0.0"};
  tree.members = std::vector<std::vector<std::string>>{{"[1]x", "[2]y", "[3]extra"}};
  doc.SetLabelSource(&tree);
  ASSERT_TRUE(doc.WriteNetworkConfig());
  EXPECT_EQ(Stored(NetworkFile(), "TREENAME", 0), "[Renamed]192.168.0.0");
  EXPECT_EQ(Stored(NetworkFile(), "TREENAME", 1), "[Room 1]192.168.0.1");
  EXPECT_EQ(Stored(NetworkFile(), "GROUPCHILDNAME", 1), "[2]y");
  EXPECT_EQ(Stored(NetworkFile(), "GROUPCHILDNAME", 2), "<none>");

  tree.singles.reset();
  tree.members.reset();
  doc.m_docDisplays[1].m_label = "kept";
  ASSERT_TRUE(doc.WriteNetworkConfig());
  EXPECT_EQ(Stored(NetworkFile(), "TREENAME", 1), "kept");
}

// Values come back whole and exactly: a long label keeps its "]address" ending, and blanks or
// quotes at its ends survive a save. Values that always read back right keep their bytes.
TEST_F(GroupKeyTest, ValuesComeBackWholeAndExact) {
  COsprelNetworkManagerDoc doc;
  const std::vector<std::string> labels = {"[" + std::string(3000, 'L') + "]127.0.0.5",
                                           "\"[Q] 127.0.23.1\"",
                                           " lead",
                                           "trail\t",
                                           "'x'",
                                           "a\"",
                                           "x'y",
                                           "[1]PJTR 5",
                                           "",
                                           "\""};
  doc.m_docSocketNumber = static_cast<int>(labels.size());
  for (size_t i = 0; i < labels.size(); ++i) doc.m_docDisplays[i].m_label = labels[i];
  AddGroup(doc, std::string(5000, 'G'), 1);
  ASSERT_TRUE(doc.WriteNetworkConfig());

  COsprelNetworkManagerDoc back;
  back.OnNewDocument();
  for (size_t i = 0; i < labels.size(); ++i) EXPECT_EQ(back.m_docDisplays[i].m_label, labels[i]);
  EXPECT_EQ(back.m_docGroupName[0], doc.m_docGroupName[0]);
  const std::string bytes = ReadBytes(NetworkFile());
  for (const char* line :
       {"\r\n1=\"\"[Q] 127.0.23.1\"\"\r\n", "\r\n2=\" lead\"\r\n", "\r\n5=a\"\r\n", "\r\n6=x'y\r\n",
        "\r\n7=[1]PJTR 5\r\n", "\r\n8=\r\n", "\r\n9=\"\r\n"}) {
    EXPECT_NE(bytes.find(line), std::string::npos) << line;
  }
}

}  // namespace
}  // namespace tarnex
