#include "protocol/pjlink_map.h"

#include <gtest/gtest.h>

namespace tarnex::pjlink {
namespace {

// What each native command becomes, and the native reply its PJLink answer comes back as.
TEST(PjlinkMap, NativeCommandsGoOutAsTheirPjlinkEquivalent) {
  struct Case {
    const char* native;
    const char* frame;  // empty: nothing goes out
    Reply answer;
    const char* reply;  // empty: no native reply
  };
  const Case cases[] = {
      {"ka 01 01\n", "%1POWR 1\r", {ReplyKind::kOk, ""}, "a 01 OK01x"},
      {"ka 01 00\n", "%1POWR 0\r", {ReplyKind::kOk, ""}, "a 01 OK00x"},
      {"ka 01 ff\n", "%1POWR ?\r", {ReplyKind::kValue, "3"}, "a 01 OK01x"},  // warming up
      {"ka 01 ff\n", "%1POWR ?\r", {ReplyKind::kValue, "2"}, "a 01 OK00x"},  // cooling down
      {"ka 01 ff\n", "%1POWR ?\r", {ReplyKind::kValue, "7"}, ""},
      {"xb 01 20\n", "%1INPT 21\r", {ReplyKind::kOk, ""}, "b 01 OK20x"},
      {"xb 01 41\n", "%1INPT 23\r", {ReplyKind::kOk, ""}, "b 01 OK41x"},
      {"xb 01 61\n", "%1INPT 12\r", {ReplyKind::kOk, ""}, "b 01 OK61x"},
      {"xb 01 92\n", "%1INPT 33\r", {ReplyKind::kOk, ""}, "b 01 OK92x"},
      {"xb 01 ff\n", "%1INPT ?\r", {ReplyKind::kValue, "32"}, "b 01 OK91x"},
      {"xb 01 ff\n", "%1INPT ?\r", {ReplyKind::kValue, "51"}, ""},  // no native equivalent
      {"xb 01 77\n", "", {}, ""},
      {"kd 01 01\n", "%1AVMT 11\r", {ReplyKind::kOk, ""}, "d 01 OK01x"},
      {"kd 01 ff\n", "%1AVMT ?\r", {ReplyKind::kValue, "31"}, "d 01 OK01x"},
      {"kd 01 ff\n", "%1AVMT ?\r", {ReplyKind::kValue, "21"}, "d 01 OK00x"},
      {"nt 01 ff\n", "%1ERST ?\r", {ReplyKind::kValue, "000000"}, "t 01 OK01x"},
      {"nt 01 ff\n", "%1ERST ?\r", {ReplyKind::kValue, "200000"}, "t 01 OK00x"},
      {"nb 01 ff\n", "%1LAMP ?\r", {ReplyKind::kValue, "4660 1 22 0"}, "b 01 OK12x"},
      {"nc 01 ff\n", "%1LAMP ?\r", {ReplyKind::kValue, "4660 1 22 0"}, "c 01 OK34x"},
      {"ne 01 ff\n", "%1LAMP ?\r", {ReplyKind::kValue, "4660 1 22 0"}, "e 01 OK16x"},
      {"nd 01 ff\n", "%1LAMP ?\r", {ReplyKind::kValue, "4660 1"}, ""},  // one lamp only
      {"ka 01 ff\n", "%1POWR ?\r", {ReplyKind::kOk, ""}, ""},           // an OK is no value
      {"kg 01 32\n", "", {}, ""},
      {"nu 01 ff\n", "", {}, ""},
      {"ka 01 01", "", {}, ""},
      {"%1NAME ?\r", "%1NAME ?\r", {ReplyKind::kValue, "Hall left"}, "Hall left"},
      {"%1name ?\r", "%1NAME ?\r", {ReplyKind::kOk, ""}, ""},
      {"%1NAM ?\r", "", {}, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.native);
    const auto request = RequestFor(c.native);
    if (std::string_view(c.frame).empty()) {
      EXPECT_FALSE(request);
      continue;
    }
    ASSERT_TRUE(request);
    EXPECT_EQ(Frame(request->command, request->parameter), c.frame);
    EXPECT_EQ(NativeReplyFor(*request, c.answer).value_or(""), c.reply);
  }
}

}  // namespace
}  // namespace tarnex::pjlink
