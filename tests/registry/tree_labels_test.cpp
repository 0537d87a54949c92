#include "registry/tree_labels.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tarnex {
namespace {

TEST(TreeLabels, KeyIsTheTextAfterTheLastBracket) {
  struct Case {
    const char* label;
    const char* key;
  };
  const Case cases[] = {
      {"10.0.0.5", "10.0.0.5"},
      {"[Lobby]10.0.0.5", "10.0.0.5"},
      {"[1][Lobby]10.0.0.5", "10.0.0.5"},
      {"[12]10.0.0.5", "10.0.0.5"},
      // Hand-edited labels: a stray or missing bracket still gives a defined key.
      {"10.0.0.5]", ""},
      {"]", ""},
      {"", ""},
      {"[Lobby", "[Lobby"},
      {"[", "["},
      {"a]b]c", "c"},
      {"[x]", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(DisplayKey(c.label), c.key) << c.label;
}

TEST(TreeLabels, OnlyALeadingNumericPrefixIsAPosition) {
  struct Case {
    const char* label;
    const char* stripped;
  };
  const Case cases[] = {
      {"[1]10.0.0.5", "10.0.0.5"},
      {"[12][Lobby]10.0.0.5", "[Lobby]10.0.0.5"},
      {"[1]", ""},
      // A name is not a position: a member label that lost its prefix keeps its name.
      {"[Lobby]10.0.0.5", "[Lobby]10.0.0.5"},
      {"[]10.0.0.5", "[]10.0.0.5"},
      {"10.0.0.5", "10.0.0.5"},
      {"x[1]10.0.0.5", "x[1]10.0.0.5"},
      {"[1", "[1"},
      {"]", "]"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(StripPositionPrefix(c.label), c.stripped) << c.label;
}

TEST(TreeLabels, MemberLabelsKeepTheDisplayLabelAndKey) {
  const std::string odd[] = {"10.0.0.5",
                             "[Lobby]10.0.0.5",
                             "[7]10.0.0.5",
                             "]",
                             "",
                             "[",
                             std::string(70000, ']') + "x",
                             std::string(70000, '[')};
  for (const std::string& label : odd) {
    for (const int position : {1, 9, 10, 1000}) {
      const std::string member = MemberLabel(position, label);
      EXPECT_EQ(member.substr(0, member.find(']') + 1), "[" + std::to_string(position) + "]");
      EXPECT_EQ(StripPositionPrefix(member), label);
      EXPECT_EQ(DisplayKey(member), DisplayKey(MemberLabel(1, label)));
    }
  }
  EXPECT_EQ(MemberLabel(2, "10.0.0.7"), "[2]10.0.0.7");
}

TEST(TreeLabels, SerialSetNumbersAreReadFromTheKey) {
  struct Case {
    std::string label;
    std::optional<int> number;
  };
  const Case cases[] = {
      {"PJTR 0", 0},
      {"PJTR 15", 15},
      {"PJTR 99", 99},
      {"[3]PJTR 15", 15},
      {"PJTR 007", 7},
      {"PJTR 7x", 7},
      {"PJTR 100", std::nullopt},  // no set ID beyond 99 on the line
      {"PJTR -1", std::nullopt},
      {"PJTR -0", std::nullopt},
      {"PJTR  5", std::nullopt},
      {"PJTR ", std::nullopt},
      {"PJTR", std::nullopt},
      {"pjtr 5", std::nullopt},
      {"PJTR(1 ~ 10)", std::nullopt},
      {"[PJTR 5", std::nullopt},
      {"PJTR 99999999999999999999999", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(SerialSetNumber(c.label), c.number) << c.label;
}

}  // namespace
}  // namespace tarnex
