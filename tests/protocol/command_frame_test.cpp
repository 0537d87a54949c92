#include "protocol/command_frame.h"

#include <gtest/gtest.h>

#include <array>
#include <set>
#include <string>

#include "protocol/command_catalogue.h"

namespace tarnex::protocol {
namespace {

TEST(CommandFrame, SetValuesAreBlankPaddedLowercaseHex) {
  struct Case {
    int value;
    const char* command;
  };
  const Case cases[] = {
      {0, "kg 01  0\n"},  {9, "kg 01  9\n"},   {15, "kg 01  f\n"},
      {16, "kg 01 10\n"}, {100, "kg 01 64\n"}, {255, "kg 01 ff\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BuildSetValue("kg", c.value), c.command) << c.value;
  }
  EXPECT_EQ(BuildSetValue("jw", 5), "jw 01  5\n");
  EXPECT_EQ(FormatDec2(3), " 3");
  EXPECT_EQ(FormatDec2(42), "42");
}

TEST(CommandFrame, QueriesUseSetIdOneAndFf) {
  EXPECT_EQ(BuildQuery("ka"), "ka 01 ff\n");
  EXPECT_EQ(BuildQuery("k$"), "k$ 01 ff\n");
}

TEST(CommandFrame, SetIdIsWrittenOverPositionsThreeAndFour) {
  EXPECT_EQ(SubstituteSetId("ka 01 ff\n", "0f"), "ka 0f ff\n");
  EXPECT_EQ(SubstituteSetId("F# 01 04 01\n", "63"), "F# 63 04 01\n");
  // Nothing to overwrite, or no usable set ID: the command stays as it was.
  EXPECT_EQ(SubstituteSetId("ka", "0f"), "ka");
  EXPECT_EQ(SubstituteSetId("ka 01 ff\n", "f"), "ka 01 ff\n");
  EXPECT_EQ(SubstituteSetId("", "0f"), "");
}

TEST(CommandFrame, SetIdsDeriveFromSetNumbers) {
  struct Case {
    const char* number;
    const char* setId;
  };
  const Case
      cases[] =
          {
              {"0", "00"},    {"5", "05"},   {"10", "0a"},   {"15", "0f"},
              {"26", "1a"},   {"31", "1f"},  {"99", "63"},   {"0x1F", "1f"},
              {"0x1f", "1f"}, {"255", "ff"}, {"7abc", "07"},  // leading digits count, as a decimal
                                                              // parse would read them
          };
  for (const Case& c : cases) {
    const auto id = DeriveSetId(c.number);
    ASSERT_TRUE(id.has_value()) << c.number;
    EXPECT_EQ(*id, c.setId) << c.number;
  }
}

TEST(CommandFrame, SetNumbersWithoutATwoDigitSetIdAreRejected) {
  // Falling back to "00" here would address every display on the line.
  for (const char* bad : {"", "abc", "-1", "256", "99999999999", "0x100"}) {
    EXPECT_FALSE(DeriveSetId(bad).has_value()) << bad;
  }
}

TEST(ReplyCodec, CompletenessFollowsTheTerminatorRules) {
  EXPECT_FALSE(IsReplyComplete(""));
  EXPECT_FALSE(IsReplyComplete("a 01 OK01"));
  EXPECT_FALSE(IsReplyComplete("a 01 OK01\n"));
  EXPECT_TRUE(IsReplyComplete("a 01 OK01x"));
  EXPECT_TRUE(IsReplyComplete("a 01 OK01x\n"));  // last-but-one rule
  EXPECT_TRUE(IsReplyComplete("a 01 OK01x\r"));  // last-character rule
  // A first segment shorter than letter, blank, set ID, blank is never a whole reply.
  EXPECT_FALSE(IsReplyComplete("\r"));
  EXPECT_FALSE(IsReplyComplete("x"));
  EXPECT_FALSE(IsReplyComplete("x "));
  EXPECT_FALSE(IsReplyComplete("x 01"));
  EXPECT_TRUE(IsReplyComplete("x 01x"));
  EXPECT_FALSE(IsReplyComplete("a 01 OK01x\r\n"));  // "x" is two back: not complete yet
}

TEST(ReplyCodec, MatchingComparesTheFirstTenCharacters) {
  EXPECT_TRUE(MatchesReply("b 01 OK20x", "b 01 OK20x"));
  EXPECT_TRUE(MatchesReply("b 01 OK20x\n", "b 01 OK20x"));
  EXPECT_TRUE(MatchesReply("b 01 OK20xjunk", "b 01 OK20x"));
  EXPECT_FALSE(MatchesReply("b 01 OK21x", "b 01 OK20x"));
  // Short and cut replies never match and never read past their end.
  EXPECT_FALSE(MatchesReply("b 01 OK2", "b 01 OK20x"));
  EXPECT_FALSE(MatchesReply("", "b 01 OK20x"));
  EXPECT_FALSE(MatchesReply(std::string("b 01 OK\0"
                                        "0x",
                                        10),
                            "b 01 OK20x"));
  // A set ID other than 01 is a different reply.
  EXPECT_FALSE(MatchesReply("b 05 OK20x", "b 01 OK20x"));

  const std::array<std::string_view, 3> expected = {"b 01 OK20x", "b 01 OK40x", "b 01 OK20x"};
  EXPECT_EQ(MatchReply("b 01 OK20x\n", expected), 0u);
  EXPECT_EQ(MatchReply("b 01 OK40x", expected), 1u);
  EXPECT_FALSE(MatchReply("b 01 OK90x", expected).has_value());
}

TEST(ReplyCodec, NumericRepliesReadPositionsSevenAndEight) {
  EXPECT_EQ(ReadNumericReply("g 01 OK4bx"), 75);
  EXPECT_EQ(ReadNumericReply("g 01 OK00x"), 0);
  EXPECT_EQ(ReadNumericReply("g 01 OKffx\n"), 255);
  EXPECT_EQ(ReadNumericReply("g 01 OK4B"), 75);
  for (const char* bad : {"", "g 01 OK", "g 01 OK4", "g 01 OKzzx", "g 01 OK 9x"}) {
    EXPECT_FALSE(ReadNumericReply(bad).has_value()) << bad;
  }
  EXPECT_FALSE(ReadNumericReply(std::string("g 01 OK4\0x", 10)).has_value());
}

TEST(ReplyCodec, AcknowledgementStartsAtPositionFive) {
  EXPECT_EQ(AckPart("a 01 OK01x"), "OK01x");
  EXPECT_EQ(AckPart("a 01 OK01x\r\n"), "OK01x\r\n");
  EXPECT_EQ(AckPart("a 01 "), "");
  EXPECT_FALSE(AckPart("a 01").has_value());
}

TEST(Catalogue, BackupSetHasSixtyQueriesWithThirtyNineDistinctPrefixes) {
  std::set<std::string> prefixes;
  for (std::string_view query : kBackupQueries) {
    ASSERT_GE(query.size(), 9u);
    EXPECT_EQ(query.substr(2, 4), " 01 ") << query;
    EXPECT_EQ(query.back(), '\n') << query;
    prefixes.insert(std::string(query.substr(0, 6)));
  }
  EXPECT_EQ(prefixes.size(), kBackupPrefixCount);
  std::set<std::string> listed(kBackupPrefixes.begin(), kBackupPrefixes.end());
  EXPECT_EQ(listed, prefixes);
  EXPECT_EQ(kBackupQueries[0], "ka 01 ff\n");
  EXPECT_EQ(kBackupQueries[33], "fa 01 ff ff ff\n");
  EXPECT_EQ(kBackupQueries[34], "fu 01 00 ff\n");
  EXPECT_EQ(kBackupQueries[42], "fc 01 ff ff\n");
  EXPECT_EQ(kBackupQueries[51], "fb 01 ff ff\n");
  EXPECT_EQ(kBackupQueries[59], "fd 01 07 ff ff\n");
}

}  // namespace
}  // namespace tarnex::protocol
