#include "display-sim/command_responder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/command_catalogue.h"
#include "protocol/command_frame.h"

namespace tarnex::sim {
namespace {

struct Exchange {
  const char* command;
  const char* reply;  // nullptr: no reply at all
};

class ResponderTest : public ::testing::Test {
 protected:
  std::string Answer(std::string_view command) { return responder.Answer(command).value_or("-"); }

  void Run(const std::vector<Exchange>& script) {
    for (const Exchange& step : script) {
      EXPECT_EQ(Answer(step.command), step.reply ? step.reply : "-") << step.command;
    }
  }

  DisplayState state;
  CommandResponder responder{state, "01"};
};

TEST_F(ResponderTest, SetThenQueryReturnsTheNewValue) {
  Run({
      {"ka 01 ff\n", "a 01 OK01x"},  // powered on at start
      {"ka 01 00\n", "a 01 OK00x"},
      {"ka 01 ff\n", "a 01 OK00x"},
      {"xb 01 ff\n", "b 01 OK90x"},
      {"xb 01 60\n", "b 01 OK60x"},
      {"xb 01 ff\n", "b 01 OK60x"},
      {"kc 01 1c\n", "c 01 OK1cx"},
      {"kc 01 ff\n", "c 01 OK1cx"},
      {"ju 01 01\n", "u 01 OK01x"},
      {"kb 01 7e\n", "b 01 OK7ex"},  // backup-only settings keep any byte
      {"kb 01 ff\n", "b 01 OK7ex"},
      {"k$ 01 12\n", "$ 01 OK12x"},
  });
}

TEST_F(ResponderTest, BlankPaddedSliderValuesAreKeptZeroPadded) {
  Run({
      {"kg 01  9\n", "g 01 OK09x"},
      {"kg 01 ff\n", "g 01 OK09x"},
      {"kh 01  0\n", "h 01 OK00x"},
      {"kk 01 64\n", "k 01 OK64x"},
      {"kk 01 65\n", "k 01 NGx"},  // above 100: refused, value kept
      {"kk 01 ff\n", "k 01 OK64x"},
  });
}

TEST_F(ResponderTest, StatusQueriesReportTheChosenState) {
  state.SetKind(3);
  state.SetSignal(false);
  state.SetFanOk(false);
  state.SetLampHours(6703);    // 0x1a2f
  state.SetLampHours2(70000);  // beyond two bytes: held at 65535
  Run({
      {"nu 01 ff\n", "u 01 OK03x"},
      {"na 01 ff\n", "a 01 OK00x"},
      {"nt 01 ff\n", "t 01 OK00x"},
      {"nb 01 ff\n", "b 01 OK1ax"},
      {"nc 01 ff\n", "c 01 OK2fx"},
      {"nd 01 ff\n", "d 01 OKffx"},
      {"ne 01 ff\n", "e 01 OKffx"},
      {"fy 01 ff\n", "y 01 OK01x"},
      {"nu 01 02\n", "u 01 NGx"},  // read-only state cannot be set
      {"nu 01 ff\n", "u 01 OK03x"},
  });
}

TEST_F(ResponderTest, TablesKeepOneValuePerIndex) {
  Run({
      {"fd 01 03 1a 2b\n", "d 01 OK031a2bx"},
      {"fd 01 04 ff ff\n", "d 01 OK040000x"},
      {"fd 01 03 ff ff\n", "d 01 OK031a2bx"},
      {"fu 01 05 7c\n", "u 01 OK057cx"},
      {"fu 01 05 ff\n", "u 01 OK057cx"},
      {"fu 01 06 ff\n", "u 01 OK0600x"},
      {"fe 01 07 ff 01\n", "e 01 OK07ff01x"},  // one "ff" among values is a value, not a query
      {"fe 01 07 ff ff\n", "e 01 OK07ff01x"},
      {"fd 01 08 ff ff\n", "d 01 NGx"},  // eight entries: 00 to 07
      {"fd 01 ff ff ff\n", "d 01 NGx"},
  });
  EXPECT_EQ(state.Value("fd 03"), "1a2b");
  EXPECT_EQ(state.Value("fu 05"), "7c");
}

TEST_F(ResponderTest, MultiFieldRepliesHaveTheShapesTheBackupReads) {
  Run({
      {"fa 01 11 22 33\n", "a 01 OK112233x"},
      {"fa 01 ff ff ff\n", "a 01 OK112233x"},
      // Two fields sent, one byte kept and reported; a restore sends 00 first.
      {"fc 01 00 5d\n", "c 01 OK5dx"},
      {"fc 01 ff ff\n", "c 01 OK5dx"},
      {"fb 01 00 0e\n", "b 01 OK0ex"},
      {"fb 01 ff ff\n", "b 01 OK0ex"},
  });
}

TEST_F(ResponderTest, RepliesCarryTheConfiguredSetIdOrEchoTheCommands) {
  EXPECT_EQ(Answer("ka 05 ff\n"), "a 01 OK01x");
  CommandResponder serial(state);
  EXPECT_EQ(serial.Answer("ka 0a ff\n"), "a 0a OK01x");
  EXPECT_EQ(serial.Answer("zz 1f ff\n"), "z 1f NGx");
}

// Inputs a display must refuse without changing anything; every refusal still ends in "x" so
// the console does not wait out its time-outs, and none carries "OK".
TEST_F(ResponderTest, MalformedAndUnknownCommandsAreRefused) {
  const std::vector<std::string> refused = {
      "zz 01 ff\n",      // unknown letters
      "ka 01 02\n",      // value outside the list
      "xb 01 21\n",      // not an input
      "ka 01 ff ff\n",   // one field too many
      "fd 01 03 ff\n",   // one field too few
      "ka 01 f\n",       // short field
      "ka 01  ff\n",     // misplaced blank
      "ka 01 fg\n",      // not hexadecimal
      "ka  1 ff\n",      // blank-padded set ID
      "ka\n",            // no set ID
      "ka 01\n",         // no field
      "ju 01 ff\n",      // an action has nothing to report
      "\x01\x02\xff\n",  // binary
      std::string(300, 'k') + "\n",
      std::string("ka 01 ff\0\n", 10),
  };
  for (const std::string& command : refused) {
    const std::string reply = Answer(command);
    EXPECT_TRUE(protocol::IsReplyComplete(reply)) << command;
    EXPECT_EQ(reply.find("OK"), std::string::npos) << command;
  }
  EXPECT_EQ(state.Value("ka"), "01");
  EXPECT_EQ(state.Value("xb"), "90");
  EXPECT_EQ(Answer("\n"), "-");  // a bare line feed gets no answer
  EXPECT_EQ(Answer("ka 01 ff\r\n"), "a 01 OK01x");
}

// The backup reads the characters just before the closing "x": 2, 4 or 6 of them, and for
// keys 42 and 51 it stores "00" before the 2 it reads. Restore rebuilds each command from
// that text. Values read from one display and restored on a fresh one must arrive intact.
std::string StoredValue(size_t key, std::string_view reply) {
  const size_t length = (key == 33 || (key >= 43 && key != 51)) ? 6
                        : (key >= 34 && key <= 41)              ? 4
                                                                : 2;
  const std::string value(reply.substr(reply.size() - 1 - length, length));
  return (key == 42 || key == 51) ? "00" + value : value;
}

std::string RestoreCommand(std::string_view prefix, const std::string& value) {
  std::string command(prefix);
  for (size_t i = 0; i < value.size(); i += 2) {
    command += value.substr(i, 2) + (i + 2 < value.size() ? " " : "");
  }
  return command + "\n";
}

TEST(BackupRoundTrip, SixtyQueriesRestoredOnAnotherDisplayGiveTheSameState) {
  DisplayState source;
  CommandResponder sourceResponder(source, "01");
  const std::vector<std::string> settings = {
      "ka 01 00\n",       "kb 01 3c\n",      "kd 01 01\n",    "kg 01  9\n",    "kc 01 1c\n",
      "km 01 01\n",       "ku 01 04\n",      "kt 01 a5\n",    "fl 01 5a\n",    "fa 01 12 34 56\n",
      "fu 01 00 7c\n",    "fu 01 07 c7\n",   "fc 01 00 5d\n", "fb 01 00 0e\n", "fe 01 02 e2 2e\n",
      "fd 01 07 d7 7d\n", "fd 01 00 fe 01\n"};
  for (const std::string& command : settings) {
    ASSERT_NE(sourceResponder.Answer(command).value_or("").find("OK"), std::string::npos)
        << command;
  }

  DisplayState target;
  CommandResponder targetResponder(target, "01");
  for (size_t key = 0; key < protocol::kBackupQueryCount; ++key) {
    const std::string query(protocol::kBackupQueries[key]);
    const std::string reply = sourceResponder.Answer(query).value_or("");
    ASSERT_EQ(reply.size() % 2, 0U) << "odd reply would be asked again: " << reply;
    const std::string value = StoredValue(key, reply);
    const std::string restore = RestoreCommand(query.substr(0, 6), value);
    const std::string restored = targetResponder.Answer(restore).value_or("");
    EXPECT_NE(restored.find("OK"), std::string::npos) << key << ": " << restore;
  }

  for (const std::string_view query : protocol::kBackupQueries) {
    CommandResponder a(source, "01");
    CommandResponder b(target, "01");
    EXPECT_EQ(b.Answer(query), a.Answer(query)) << query;
  }
  EXPECT_EQ(target.Value("fd 07"), "d77d");
  EXPECT_EQ(target.Value("fc"), "5d");
}

}  // namespace
}  // namespace tarnex::sim
