// The search reply parser on valid and malformed datagrams side by side: every datagram comes
// from whoever is on the network.
#include "links/search_reply.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnex {
namespace {

using Octets = SearchReply::Octets;

const Octets kNone{};

TEST(SearchReplyTest, ReadsTheFieldsOfAReplyAndRefusesWhatIsNoDisplay) {
  struct Case {
    const char* name;
    std::string datagram;
    bool valid;
    std::string address = {};
    Octets mask = kNone;
    Octets secondaryDns = kNone;
    std::string text = {};
  };
  const std::string mac = "0a1b2c3d4e5f";
  const std::string head = "QX R 1 0 " + mac + " ";
  const Case cases[] = {
      {"valid", head + "Model-X C0A8010A FFFFFF00 C0A80101 08080808 08080404", true, "192.168.1.10",
       Octets{"255", "255", "255", "0"}, Octets{"8", "8", "4", "4"}, "Model-X"},
      {"zero padding and a line end", head + "T 0A000005 FF000000\r\n" + std::string(20, '\0'),
       true, "10.0.0.5", Octets{"255", "0", "0", "0"}},
      {"optional fields missing", head + "T 7F010203", true, "127.1.2.3"},
      {"optional fields malformed", head + "T 7F010203 FF00 XYZ00000 123456789 -", true,
       "127.1.2.3"},
      {"text kept printable",
       head + "a\tb\x01"
              "c 7F010203",
       true, "127.1.2.3", kNone, kNone, "abc"},
      {"lower-case hex", "a b c d " + mac + " t 7f0102fe", true, "127.1.2.254"},
      {"a /16 host in the middle", head + "T AC10057F FFFF0000", true, "172.16.5.127",
       Octets{"255", "255", "0", "0"}},
      {"empty", "", false},
      {"short", "QX R 1 0", false},
      {"MAC too short", "QX R 1 0 0A1B2C3D4E T 7F010203", false},
      {"MAC too long", "QX R 1 0 0A1B2C3D4E5F6 T 7F010203", false},
      {"MAC not hex", "QX R 1 0 0A1B2C3D4EZZ T 7F010203", false},
      {"IP missing", head + "T", false},
      {"IP too long", head + "T 7F0102030", false},
      {"IP not hex", head + "T 7F01020G", false},
      {"double space shifts the fields", "QX R 1 0  " + mac + " T 7F010203", false},
      {"0.0.0.0", head + "T 00000000", false},
      {"0.x.x.x", head + "T 00010203", false},
      {"multicast", head + "T E0000001", false},
      {"limited broadcast", head + "T FFFFFFFF", false},
      {"subnet broadcast", head + "T C0A801FF FFFFFF00", false},
      {"subnet broadcast of a /25", head + "T C0A8017F FFFFFF80", false},
      {"network address of a /25", head + "T C0A80180 FFFFFF80", false},
      // Whatever the mask says, .0 and .255 are no display's.
      {"network address under a /8", head + "T 7F000000 FF000000", false},
      {".255.255 under a /8", head + "T 7F00FFFF FF000000", false},
      {".255 with a /32", head + "T 7F0000FF FFFFFFFF", false},
      {".0 without a mask", head + "T 0A010200", false},
      {"field past the 80-byte cut", std::string(68, 'x') + " Q " + mac + " T 7F010203", false},
      {"IP cut at byte 80", std::string(52, 'x') + " a b c " + mac + " T 7F010203", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<SearchReply> reply = ParseSearchReply(c.datagram);
    ASSERT_EQ(reply.has_value(), c.valid);
    if (!reply) continue;
    EXPECT_EQ(reply->address, c.address);
    EXPECT_EQ(reply->subnetMask, c.mask);
    EXPECT_EQ(reply->secondaryDns, c.secondaryDns);
    if (!c.text.empty()) {
      EXPECT_EQ(reply->text, c.text);
    }
    EXPECT_EQ(reply->compactMac, "0A1B2C3D4E5F");
    EXPECT_EQ(reply->displayMac, "0A - 1B - 2C - 3D - 4E - 5F");
  }
}

TEST(SearchReplyTest, KeepsEveryOctetOfAFullReply) {
  const auto reply =
      ParseSearchReply("QX R 1 0 001122AABBCC Model C0A8010A FFFFFF00 C0A80101 08080808 08080404");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->ipAddress, (Octets{"192", "168", "1", "10"}));
  EXPECT_EQ(reply->gateway, (Octets{"192", "168", "1", "1"}));
  EXPECT_EQ(reply->primaryDns, (Octets{"8", "8", "8", "8"}));
  EXPECT_EQ(reply->secondaryDns, (Octets{"8", "8", "4", "4"}));
}

}  // namespace
}  // namespace tarnex
