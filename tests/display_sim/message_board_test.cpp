#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "display-sim/command_responder.h"
#include "protocol/command_frame.h"

namespace tarnex::sim {
namespace {

using protocol::FormatDec2;
using protocol::FormatHex2;

const std::string kHide = "F# 01 01 00\n";
const std::string kShow = "F# 01 01 01\n";

std::string Code(char c) {
  return FormatHex2(static_cast<unsigned char>(c));
}

// The commands the console's Send button produces for one display: text frames of at most
// seven characters, the last one sent after hide, position and colour, then show.
std::vector<std::string> SendSequence(const std::string& text, int row = 2, int column = 1,
                                      int colour = 7) {
  const size_t n = text.size();
  const std::vector<std::string> setup = {
      kHide, "F# 01 03 " + FormatDec2(row) + " " + FormatDec2(column) + "\n",
      "F# 01 04 " + FormatHex2(colour) + "\n"};
  std::vector<std::string> sequence;
  std::string frame = "F# 01 02 00 " + (n >= 7 ? std::string("07") : FormatHex2(int(n) + 1)) + " ";
  for (size_t i = 0; i < n; ++i) {
    if (i + 1 == n) {
      sequence.insert(sequence.end(), setup.begin(), setup.end());
      if (n % 7 != 0) {
        sequence.push_back(frame + Code(text[i]) + " 80\n");
      } else {
        sequence.push_back(frame + Code(text[i]) + "\n");
        sequence.push_back("F# 01 02 " + FormatHex2(int(n)) + " 01 80\n");
      }
    } else if (i % 7 == 6) {
      sequence.push_back(frame + Code(text[i]) + "\n");
      const size_t remaining = n - i - 1;
      frame = "F# 01 02 " + FormatHex2(int(i) + 1) + " " +
              (remaining >= 7 ? std::string("07") : FormatHex2(int(remaining) + 1)) + " ";
    } else {
      frame += Code(text[i]) + " ";
    }
  }
  sequence.push_back(kShow);
  return sequence;
}

class MessageTest : public ::testing::Test {
 protected:
  void Send(const std::vector<std::string>& commands) {
    for (const std::string& command : commands) {
      const std::string reply = responder.Answer(command).value_or("");
      EXPECT_EQ(reply.rfind("# 01 OK", 0), 0U) << command << " -> " << reply;
    }
  }
  std::string Shown() const { return state.Message().ShownText(); }

  DisplayState state;
  CommandResponder responder{state, "01"};
};

TEST_F(MessageTest, TheSequenceHelperFollowsTheConsolesFraming) {
  EXPECT_EQ(SendSequence("Hi")[3], "F# 01 02 00  3 48 69 80\n");
  const auto seven = SendSequence("ABCDEFG");
  EXPECT_EQ(seven[3], "F# 01 02 00 07 41 42 43 44 45 46 47\n");
  EXPECT_EQ(seven[4], "F# 01 02  7 01 80\n");
  const auto ten = SendSequence("ABCDEFGHIJ");
  EXPECT_EQ(ten[0], "F# 01 02 00 07 41 42 43 44 45 46 47\n");  // before the hide
  EXPECT_EQ(ten[4], "F# 01 02  7  4 48 49 4a 80\n");
}

TEST_F(MessageTest, TextsOfEveryFrameShapeAreShownWhole) {
  const std::vector<std::string> texts = {
      "H",
      "Hi",
      "Hello!",
      "Seven 7",
      "Ten chars.",
      "Fourteen chars",
      std::string(70, 'w'),  // ten full frames and an end frame at offset 46
      "Lamp (2) ok, see: A-1/B+2?"};
  for (const std::string& text : texts) {
    Send(SendSequence(text));
    EXPECT_EQ(Shown(), text);
  }
}

TEST_F(MessageTest, HideClearsTheScreenAndANewTextReplacesTheOld) {
  Send(SendSequence("A rather long first text"));
  Send({kHide});
  EXPECT_EQ(Shown(), "");
  // The first frames of a long text arrive while the old text is still up.
  const auto next = SendSequence("Second message");
  Send({next[0]});
  Send({kShow});
  EXPECT_EQ(Shown(), "Second ");  // shown before its end arrived: what came so far
  Send(next);
  EXPECT_EQ(Shown(), "Second message");
}

TEST_F(MessageTest, LayoutCommandsAreKept) {
  Send(SendSequence("Top", 0, 2, 4));
  Send({"F# 01 05 03\n"});
  const MessageLayout& layout = state.Message().Layout();
  EXPECT_EQ(layout.row, 0);
  EXPECT_EQ(layout.column, 2);
  EXPECT_EQ(layout.colour, 4);
  EXPECT_EQ(layout.size, 3);
  EXPECT_EQ(responder.Answer(kHide), "# 01 OK0100x");  // the reply the group history knows
}

TEST_F(MessageTest, MalformedFramesAreRefusedAndChangeNothing) {
  Send(SendSequence("Kept"));
  const std::vector<std::string> refused = {
      "F# 01 02 00  3 48 69\n",     // count says 3, carries 2
      "F# 01 02 20  2 48 80\n",     // offset beyond the received text
      "F# 01 02 00  3 48 80 69\n",  // end code before the last field
      "F# 01 02 00  2 00 80\n",     // NUL character
      "F# 01 02 00\n",              // no count
      "F# 01 03  3  0\n",           // row 3
      "F# 01 04 08\n",              // colour 8
      "F# 01 05 00\n",              // size 0
      "F# 01 01 02\n",              // neither hide nor show
      "F# 01 06 01\n",              // unknown sub-command
  };
  for (const std::string& command : refused) {
    EXPECT_EQ(responder.Answer(command), "# 01 NGx") << command;
  }
  Send({kShow});
  EXPECT_EQ(Shown(), "Kept");
}

}  // namespace
}  // namespace tarnex::sim
