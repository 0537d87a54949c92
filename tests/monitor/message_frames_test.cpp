// The on-screen message's frames, byte for byte, as a display reassembles them.
#include "monitor/message_frames.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarnex {
namespace {

using Commands = std::vector<std::string>;

// Bottom/Center in white, the dialog's first choice: place row 2, column 1; colour 7.
const Commands kSetUp{"F# 01 01 00\n", "F# 01 03  2  1\n", "F# 01 04  7\n"};

Commands With(Commands first, const Commands& then) {
  first.insert(first.end(), then.begin(), then.end());
  return first;
}

TEST(MessageFramesTest, ShortAndLongTextsFrameAsTheDisplayExpects) {
  EXPECT_EQ(MessageFrames("Hi", 7, 6),
            With(kSetUp, {"F# 01 02 00  3 48 69 80\n", "F# 01 01 01\n"}));
  EXPECT_EQ(MessageFrames("Welcome", 7, 6), With(kSetUp, {"F# 01 02 00 07 57 65 6c 63 6f 6d 65\n",
                                                          "F# 01 02  7 01 80\n", "F# 01 01 01\n"}));
  // The first full frame goes before the hide; the rest carries its count and the end byte.
  EXPECT_EQ(MessageFrames("Doors at 7", 7, 6),
            With({"F# 01 02 00 07 44 6f 6f 72 73 20 61\n"},
                 With(kSetUp, {"F# 01 02  7  4 74 20 37 80\n", "F# 01 01 01\n"})));
  // Top/Left, black: a different place and colour reach the set-up commands.
  EXPECT_EQ(MessageFrames("A", 0, 0)[1], "F# 01 03  0  0\n");
  EXPECT_EQ(MessageFrames("A", 0, 0)[2], "F# 01 04  1\n");

  const Commands longest = MessageFrames(std::string(70, 'x'), 7, 6);
  ASSERT_EQ(longest.size(), 9u + 3u + 1u + 1u + 1u);  // nine full frames, set-up, tenth, end, show
  EXPECT_EQ(longest[0], "F# 01 02 00 07 78 78 78 78 78 78 78\n");
  EXPECT_EQ(longest[1], "F# 01 02  7 07 78 78 78 78 78 78 78\n");
  EXPECT_EQ(longest[8], "F# 01 02 38 07 78 78 78 78 78 78 78\n");
  EXPECT_EQ(longest[12], "F# 01 02 3f 07 78 78 78 78 78 78 78\n");
  EXPECT_EQ(longest[13], "F# 01 02 46 01 80\n");
  EXPECT_EQ(longest[14], "F# 01 01 01\n");
}

TEST(MessageFramesTest, OnlyTheDisplaysCharactersAreAMessage) {
  EXPECT_TRUE(MessageSupported("Doors open at 7pm! (Hall B) - 'now' + later/soon: ok?,."));
  EXPECT_TRUE(MessageSupported(std::string(70, 'a')));
  for (const std::string& text :
       {std::string(), std::string(71, 'a'), std::string("a;b"), std::string("caf\xc3\xa9"),
        std::string("two\nlines"), std::string("tab\there")}) {
    EXPECT_FALSE(MessageSupported(text)) << text;
  }
  EXPECT_EQ(MessagePlaceCommand(5), "F# 01 03  1  2\n");
  EXPECT_EQ(MessageColourCommand(3), "F# 01 04 04\n");
  EXPECT_EQ(MessageSizeCommand(2), "F# 01 05 03\n");
}

}  // namespace
}  // namespace tarnex
