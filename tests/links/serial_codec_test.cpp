#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "links/serial_device_path.h"
#include "links/serial_line_settings.h"
#include "links/serial_reply.h"

namespace tarnex {
namespace {

TEST(SerialReply, JudgesReceivedBytesByCompletenessAndSetId) {
  using V = SerialReplyVerdict;
  struct Case {
    const char* received;
    const char* addressed;
    V verdict;
  };
  const std::vector<Case> cases = {
      {"a 01 OK01", "05", V::kIncomplete},     // no "x" yet
      {"a 01 OK01x", "05", V::kTaken},         // the usual answer, set ID 01
      {"a 05 OK01x", "05", V::kTaken},         // the display's own set ID
      {"a 0F OK01x", "0f", V::kTaken},         // case does not matter
      {"a 01 OK01x\n", "05", V::kTaken},       // "x" and one more byte
      {"a 01 OK01x\r", "05", V::kTaken},       // carriage return last
      {"a 07 OK01x", "05", V::kOtherDisplay},  // a late answer of display 07
      {"a 07 OK01x", "00", V::kTaken},         // everyone is addressed by 00
      {"x", "05", V::kIncomplete},             // first byte of a "dx" reply
      {"x ", "05", V::kIncomplete},            // ... and its second
      {"x 01 OK00x", "05", V::kTaken},         // the whole "dx" reply
      {"#?~ garbage ~?#x", "05", V::kTaken},   // no set ID: taken, matches nothing
      {"a 05 NGx", "05", V::kTaken},           // a refusal is an answer too
      {"", "05", V::kIncomplete},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(JudgeSerialReply(c.received, c.addressed), c.verdict)
        << c.received << " for " << c.addressed;
  }
}

TEST(SerialReply, OwnSetIdBecomesTheSetIdOfTheReplyTables) {
  struct Case {
    const char* reply;
    const char* addressed;
    const char* normalized;
  };
  const std::vector<Case> cases = {
      {"a 05 OK01x", "05", "a 01 OK01x"},
      {"a 0F OK4bx", "0f", "a 01 OK4bx"},
      {"a 01 OK01x", "05", "a 01 OK01x"},
      {"a 07 OK01x", "00", "a 07 OK01x"},  // not the addressed one: left as it came
      {"a 05 OK01x\n", "05", "a 01 OK01x\n"},
      {"a 0", "05", "a 0"},  // too short to carry a set ID
      {"#?~ garbage ~?#x", "05", "#?~ garbage ~?#x"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NormalizeSerialReply(c.reply, c.addressed), c.normalized) << c.reply;
  }
  EXPECT_EQ(SkipLeadingLineEnds("\r\n\na 01 OK01x"), "a 01 OK01x");
  EXPECT_EQ(FirstReplyLength("a 07 OK00xa 05 OK01x"), 10u);
  EXPECT_EQ(FirstReplyLength("x 07 OK00xa 05"), 10u);  // the leading "x" of a "dx" reply
  EXPECT_EQ(FirstReplyLength("a 07 OK0"), 8u);
}

TEST(SerialLineSettings, ListPositionsGiveStoredValuesAndFallBackOutsideTheLists) {
  struct Case {
    SerialListPositions positions;
    const char* port;
    int baudrate, dataBits, parityCode, stopCode;
  };
  const std::vector<Case> cases = {
      {{0, 0, 0, 0, 0}, "COM1", 2400, 5, kParityEven, kStopOne},
      {{3, 3, 1, 1, 1}, "COM4", 14400, 6, kParityOdd, kStopTwo},
      {{4, 4, 2, 2, 0}, "\\\\.\\COM5", 19200, 7, kParityNone, kStopOne},
      {{8, 7, 3, 2, 1}, "\\\\.\\COM9", 115200, 8, kParityNone, kStopTwo},
      // Nothing chosen, and positions a hand-edited file may carry.
      {{-1, -1, -1, -1, -1}, "COM2", 9600, 8, kParityNone, kStopTwo},
      {{9, 8, 4, 3, 2}, "COM2", 9600, 8, kParityNone, kStopTwo},
      {{1000, 2, 3, 2, 1}, "COM2", 9600, 8, kParityNone, kStopTwo},
  };
  for (const Case& c : cases) {
    const SerialLineSettings s = SettingsFromPositions(c.positions);
    EXPECT_EQ(s.portName, c.port) << c.positions.port;
    EXPECT_EQ(s.baudrate, c.baudrate) << c.positions.baudrate;
    EXPECT_EQ(s.dataBits, c.dataBits) << c.positions.data;
    EXPECT_EQ(s.parityCode, c.parityCode) << c.positions.parity;
    EXPECT_EQ(s.stopCode, c.stopCode) << c.positions.stop;
  }
}

TEST(SerialDevicePath, PortNamesMapToTerminalDevicesUnlessTheEnvironmentNamesOne) {
  ::unsetenv("TARNEX_COM1");
  ::unsetenv("TARNEX_COM5");
  ::setenv("TARNEX_COM3", "/dev/pts/77", 1);
  struct Case {
    const char* name;
    std::optional<std::string> device;
  };
  const std::vector<Case> cases = {
      {"COM1", "/dev/ttyS0"},
      {"\\\\.\\COM5", "/dev/ttyS4"},  // the device path form of the fifth
                                      // port on
      {"com2", "/dev/ttyS1"},
      {"COM3", "/dev/pts/77"},
      {"\\\\.\\COM3", "/dev/pts/77"},
      {"COM0", std::nullopt},
      {"COM", std::nullopt},
      {"COM01", std::nullopt},
      {"COM257", std::nullopt},
      {"COM1x", std::nullopt},
      {"/dev/ttyS0", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(SerialDevicePath(c.name), c.device) << c.name;
  ::unsetenv("TARNEX_COM3");
}

}  // namespace
}  // namespace tarnex
