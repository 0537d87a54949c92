#include "protocol/pjlink_codec.h"

#include <gtest/gtest.h>

#include <string>

namespace tarnex::pjlink {
namespace {

using namespace std::string_literals;

TEST(PjlinkCodec, RepliesAsRealDisplaysSendThem) {
  struct Case {
    std::string packet;
    const char* command;
    bool query;
    ReplyKind kind;
    const char* value;
  };
  const std::string longest = "%1NAME=" + std::string(kMaxParameter, 'n');
  const Case cases[] = {
      {"%1powr=1", "POWR", true, ReplyKind::kValue, "1"},
      {"\0\0%1POWR=ok"s, "powr", false, ReplyKind::kOk, ""},
      {"%1CLSS=Class 1 \0\0"s, "CLSS", true, ReplyKind::kValue, "Class 1"},
      {"%1NAME=", "NAME", true, ReplyKind::kValue, ""},  // no name set
      {"\0\0\0"s + longest, "NAME", true, ReplyKind::kValue, longest.c_str() + 7},
      {longest + "nn", "NAME", true, ReplyKind::kUnknown, ""},  // 137 bytes
      {"", "POWR", true, ReplyKind::kUnknown, ""},
      {"\xff%1POWR=1", "POWR", true, ReplyKind::kUnknown, ""},
      {"%1NAME=a\x1b[2Jb", "NAME", true, ReplyKind::kUnknown, ""},
      {"%1POWR=ERR1", "POWR", false, ReplyKind::kErr1, ""},
      {"%1POWR=err2", "POWR", true, ReplyKind::kErr2, ""},
      {"%1POWR=ERR3", "POWR", false, ReplyKind::kErr3, ""},
      {"%1POWR=ERR4", "POWR", true, ReplyKind::kErr4, ""},
      {"\0pjlink erra"s, "INPT", true, ReplyKind::kErrA, ""},
      {"%1POWR=OK", "POWR", true, ReplyKind::kUnknown, ""},
      {"%1POWR=1", "POWR", false, ReplyKind::kUnknown, ""},
      {"%1INPT=11", "POWR", true, ReplyKind::kUnknown, ""},
      {"%1POWR 1", "POWR", true, ReplyKind::kUnknown, ""},
      {"%2POWR=1", "POWR", true, ReplyKind::kUnknown, ""},
  };
  for (const Case& c : cases) {
    const Reply reply = ParseReply(c.packet, c.command, c.query);
    EXPECT_EQ(reply.kind, c.kind) << c.packet;
    EXPECT_EQ(reply.value, c.value) << c.packet;
  }
}

TEST(PjlinkCodec, GreetingsOpenOrAskForAPassword) {
  struct Case {
    std::string packet;
    bool accepted;
    bool authenticate;
  };
  const Case cases[] = {
      {"PJLINK 0", true, false},           {"pjlink 0", true, false},
      {"\0PJLINK 0"s, true, false},        {"PJLINK 1 498e4a67", true, true},
      {"PJLINK 1 ABCDEF09", true, true},   {"PJLINK ERRA", false, false},
      {"PJLINK 1 498e4a6", false, false},  {"PJLINK 1 498e4a670", false, false},
      {"PJLINK 1 498e4g67", false, false}, {"PJLINK 1", false, false},
      {"PJLINK 2", false, false},          {"", false, false},
  };
  for (const Case& c : cases) {
    const auto greeting = ParseGreeting(c.packet);
    ASSERT_EQ(greeting.has_value(), c.accepted) << c.packet;
    if (!greeting) continue;
    EXPECT_EQ(greeting->authenticate, c.authenticate) << c.packet;
    EXPECT_EQ(greeting->random, c.authenticate ? c.packet.substr(9) : "") << c.packet;
  }
}

TEST(PjlinkCodec, AuthPrefixIsTheKnownDigest) {
  EXPECT_EQ(AuthPrefix("498e4a67", "JBMIAProjectorLink"), "5d8409bc1c3fa39749434aa3a5c38682");
}

TEST(PjlinkCodec, FramesRefuseWhatADisplayCouldMisread) {
  EXPECT_EQ(Frame("powr", "1"), "%1POWR 1\r");
  EXPECT_EQ(Frame("INF1", "?"), "%1INF1 ?\r");
  EXPECT_EQ(Frame("NAME", std::string(kMaxParameter, 'x')).size(), kMaxParameter + 8);
  for (const auto& [command, parameter] : std::vector<std::pair<std::string, std::string>>{
           {"POWR", "1\r"},
           {"POWR", "1\n"},
           {"POWR", std::string(kMaxParameter + 1, 'x')},
           {"POWR", ""},
           {"POW", "1"},
           {"PO R", "1"},
           {"PO%R", "1"},
           {"POWR", "\x80"}}) {
    EXPECT_EQ(Frame(command, parameter), "") << command << "|" << parameter;
  }
}

TEST(PjlinkCodec, ValueHelpersReadOnlyWhatTheyRecognise) {
  EXPECT_EQ(ClassOf("Class 1"), 1);
  EXPECT_EQ(ClassOf("Version2"), 2);
  EXPECT_EQ(ClassOf("Class"), std::nullopt);
  EXPECT_EQ(PowerWord("3"), "Warm-up");
  EXPECT_EQ(PowerWord("4"), std::nullopt);
  EXPECT_EQ(InputsOf(" 11  12 61 1 123 3A"), (std::vector<std::string>{"11", "12", "3A"}));
  std::string many;
  for (int i = 0; i < 60; ++i) many += "11 ";
  EXPECT_EQ(InputsOf(many).size(), 50u);
  EXPECT_EQ(InputName("29") + "|" + InputName("52") + "|" + InputName("61"), "Video 9|Network 2|");
  EXPECT_EQ(ScreenMuted("31"), true);
  EXPECT_EQ(ScreenMuted("21"), false);
  EXPECT_EQ(ScreenMuted("12"), std::nullopt);
  using Lamps = std::vector<std::pair<long, bool>>;
  EXPECT_EQ(LampsOf("1234 1 567 0 89 1"), (Lamps{{1234, true}, {567, false}}));
  EXPECT_EQ(LampsOf("99999 0 100000 1"), (Lamps{{99999, false}}));
  EXPECT_EQ(LampsOf("12 2 34 1"), Lamps{});
  EXPECT_EQ(ErrorStatus("012021"), (std::array<int, 6>{0, 1, 2, 0, 2, 1}));
  EXPECT_EQ(ErrorStatus("012031"), std::nullopt);
  EXPECT_EQ(ErrorStatus("0120210"), std::nullopt);
}

}  // namespace
}  // namespace tarnex::pjlink
