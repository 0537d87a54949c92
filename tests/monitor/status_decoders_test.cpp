#include "monitor/status_decoders.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tarnex {
namespace {

using Reply = std::optional<std::string>;
using Text = std::optional<std::string>;

struct Case {
  const char* what;
  Text got;
  Text expected;
};

// Every reader's table with its known replies and the replies that must leave the box alone.
TEST(StatusDecoders, RepliesShowTheirTextsAndUnknownOnesLeaveTheBox) {
  const Case cases[] = {
      {"aspect 1c", MatchText("c 01 OK1cx", status::kAspect), "CinemaZoom13"},
      {"aspect 10", MatchText("c 01 OK10x", status::kAspect), "CinemaZoom1"},
      {"aspect 1f", MatchText("c 01 OK1fx", status::kAspect), "CinemaZoom16"},
      {"aspect 03", MatchText("c 01 OK03x", status::kAspect), std::nullopt},
      {"power DPM", MatchText("a 01 OK09x", status::kPower), "DPM"},
      {"group power DPM", MatchText("a 01 OK09x", status::kGroupPower), std::nullopt},
      {"power, trailing bytes", MatchText("a 01 OK01x\r\n", status::kPower), "On"},
      {"input HDMI 3", MatchText("b 01 OK92x", status::kInput), "HDMI 3"},
      {"picture Expert2", MatchText("s 01 OK06x", status::kPictureMode), "Expert2"},
      {"picture, short reply", MatchText("s 01 OK", status::kPictureMode), std::nullopt},
      {"no reply", MatchText(std::nullopt, status::kPower), std::nullopt},
      {"signal", DecodeSignal("a 01 OK01x"), "Signal"},
      {"no signal", DecodeSignal("a 01 OK00x"), "No Signal"},
      {"signal 05", DecodeSignal("a 01 OK05x"), "N/A"},
      {"signal, empty", DecodeSignal(""), std::nullopt},
      {"group fan 02", DecodeGroupFan("t 01 OK02x"), std::nullopt},
      {"group fan 00", DecodeGroupFan("t 01 OK00x"), "NG"},
      {"lamp 1a 2f", LampHoursText("b 01 OK1ax", "c 01 OK2fx"), "6703"},
      {"lamp, no low", LampHoursText("b 01 OK1ax", std::nullopt), "6656"},
      {"lamp, not hex", LampHoursText("b 01 OKzzx", "c 01 OK0\x01x"), "0"},
      {"octets", DottedAddress({"192", "168", "0x1", "7"}), "192.168.1.7"},
      {"octet 256", DottedAddress({"10", "0", "0", "256"}), ""},
      {"octet -1", DottedAddress({"10", "-1", "0", "1"}), ""},
      {"octet empty", DottedAddress({"10", "", "0", "1"}), ""},
      {"no octets stored", DottedAddress({"", "", "", ""}), "0.0.0.0"},
      {"MAC", MacBoxText("00 - 1A - 2B - 3C - 4D - 5E - extra"), "00 - 1A - 2B - 3C - 4D - 5E"},
      {"name", MemberName("[Lobby]127.0.0.5"), "Lobby"},
      {"no name", MemberName("127.0.0.5"), "- - - -"},
      {"empty name", MemberName("[]127.0.0.5"), "- - - -"},
      {"empty label", MemberName(""), "- - - -"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.what;
}

// Only "t 01 OK00x" is an abnormal fan; any other answer shows "NG" without the alarm.
TEST(StatusDecoders, OnlyTheAbnormalFanReplyRaisesTheAlarm) {
  EXPECT_EQ(DecodeFan("t 01 OK01x")->text, "OK");
  EXPECT_TRUE(DecodeFan("t 01 OK01x")->normal);
  EXPECT_EQ(DecodeFan("t 01 OK00x")->text, "NG");
  EXPECT_FALSE(DecodeFan("t 01 OK00x")->normal);
  EXPECT_EQ(DecodeFan("t 01 OK02x")->text, "NG");
  EXPECT_TRUE(DecodeFan("t 01 OK02x")->normal);
  EXPECT_FALSE(DecodeFan(std::nullopt));
  EXPECT_FALSE(DecodeFan(""));
}

TEST(StatusDecoders, GroupProgressStepsBy100OverCountUpToAHundredMembers) {
  EXPECT_EQ(GroupProgress(1, 3), 33);
  EXPECT_EQ(GroupProgress(2, 3), 66);
  EXPECT_EQ(GroupProgress(3, 3), 99);
  EXPECT_EQ(GroupProgress(100, 100), 100);
  EXPECT_EQ(GroupProgress(1, 1000), 0);
  EXPECT_EQ(GroupProgress(500, 1000), 50);
  EXPECT_EQ(GroupProgress(2000, 1000), 100);
  EXPECT_EQ(GroupProgress(0, 0), 100);
}

}  // namespace
}  // namespace tarnex
