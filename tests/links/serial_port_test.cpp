#include "links/serial_port.h"

#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "display-sim/command_log.h"
#include "display-sim/serial_line.h"
#include "platform/cancel_token.h"
#include "serial_test_peer.h"
#include "support/recording_ui_host.h"
#include "support/trace_recorder.h"

namespace tarnex {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const Sleeper kNoPause = [](std::chrono::milliseconds) {};

// COM3 is routed to whatever device the test names.
class SerialPortTest : public ::testing::Test {
 protected:
  void Route(const std::string& device) { ::setenv("TARNEX_COM3", device.c_str(), 1); }
  void TearDown() override { ::unsetenv("TARNEX_COM3"); }

  sim::SerialLine& Line(sim::SerialLineOptions options) {
    line_ = std::make_unique<sim::SerialLine>(options, log_);
    Route(line_->Path());
    return *line_;
  }
  bool Open(int rate = 9600, int data = 8, int stop = 0, int parity = 0) {
    return port.OpenSerialPort("COM3", rate, data, stop, parity);
  }

  testing::RecordingUiHost ui;
  CSerialPort port{ui};
  sim::CommandLog log_;
  std::unique_ptr<sim::SerialLine> line_;
};

// What another descriptor of the same terminal sees: the line settings belong to the device.
termios DeviceMode(const std::string& path) {
  termios mode{};
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ::tcgetattr(fd, &mode);
  ::close(fd);
  return mode;
}

TEST_F(SerialPortTest, OpensWithEachLineSettingAndTalksAtIt) {
  auto& line = Line({.setIds = {"05"}});
  struct Case {
    int rate, data, stop, parity;
    speed_t speed;
    tcflag_t stopFlag;
  };
  const std::vector<Case> cases = {
      {2400, 5, 0, 2, B2400, 0},          {4800, 6, 2, 1, B4800, CSTOPB},
      {9600, 7, 0, 0, B9600, 0},          {19200, 8, 2, 0, B19200, CSTOPB},
      {38400, 8, 0, 2, B38400, 0},        {57600, 8, 0, 1, B57600, 0},
      {115200, 8, 2, 0, B115200, CSTOPB},
  };
  testing::TraceRecorder traces;
  for (const Case& c : cases) {
    ASSERT_TRUE(Open(c.rate, c.data, c.stop, c.parity)) << c.rate << " " << port.LastError();
    const termios mode = DeviceMode(line.Path());
    EXPECT_EQ(::cfgetospeed(&mode), c.speed) << c.rate;
    // A pseudo-terminal keeps rate and stop bits but always runs 8 bits without parity, so
    // data bits and parity are seen only on a real line.
    EXPECT_EQ(mode.c_cflag & CSTOPB, c.stopFlag) << c.rate;
    EXPECT_EQ(mode.c_lflag & (ECHO | ICANON), 0u) << "raw mode";
    EXPECT_EQ(port.Exchange("ka 05 ff\n", 1000, kNoPause), "a 01 OK01x") << c.rate;
  }
  EXPECT_TRUE(traces.Contains("COM3,115200,8,2,0\r\n"));
  EXPECT_TRUE(ui.Messages().empty());
}

// 14400 is not in the standard rate table; a pseudo-terminal takes it as an arbitrary rate.
TEST_F(SerialPortTest, OpensAtTheNonStandardRate) {
  Line({.setIds = {"05"}});
  testing::TraceRecorder traces;
  ASSERT_TRUE(Open(14400)) << port.LastError();
  EXPECT_TRUE(traces.Contains("COM3,14400,8,0,0\r\n"));
  EXPECT_EQ(port.Exchange("kd 05 ff\n", 1000, kNoPause), "d 01 OK00x");
  // From the arbitrary rate back to a standard one, and again.
  for (const int rate : {9600, 14400, 115200}) {
    ASSERT_TRUE(Open(rate)) << rate << " " << port.LastError();
    EXPECT_EQ(port.Exchange("kd 05 ff\n", 1000, kNoPause), "d 01 OK00x") << rate;
  }
}

TEST_F(SerialPortTest, FailedOpenIsToldOnceAndLaterExchangesGetNothing) {
  auto& line = Line({.setIds = {"05"}});
  struct Case {
    const char* device;
    int rate, data, stop, parity;
  };
  const std::vector<Case> cases = {
      {"/nonexistent/tty", 9600, 8, 0, 0},  // no such device
      {"/dev/null", 9600, 8, 0, 0},         // not a terminal
      {nullptr, 9600, 9, 0, 0},             // data bits no line has
      {nullptr, 9600, 8, 3, 0},             // stop-bit code no line has
      {nullptr, 9600, 8, 0, 7},             // parity code no line has
      {nullptr, -5, 8, 0, 0},               // rate
  };
  for (const Case& c : cases) {
    Route(c.device != nullptr ? c.device : line.Path());
    testing::TraceRecorder traces;
    testing::RecordingUiHost host;
    CSerialPort failing(host);
    EXPECT_FALSE(failing.OpenSerialPort("COM3", c.rate, c.data, c.stop, c.parity));
    EXPECT_EQ(host.Messages(), std::vector<std::string>{"fail Port open"});
    EXPECT_TRUE(traces.Contains("port open fail!!\r\n"));
    EXPECT_FALSE(failing.LastError().empty());
    EXPECT_FALSE(failing.IsOpen());
    EXPECT_EQ(failing.Exchange("ka 05 ff\n", 1000, kNoPause), "");
    EXPECT_EQ(failing.SerialWrite("ka 05 ff\n"), 0u);
  }
}

TEST_F(SerialPortTest, RepliesWrittenInPiecesAndOwnSetIdsAreReadWhole) {
  Line({.setIds = {"05", "0f"}, .replyOwnSetId = true, .splitReplies = true});
  ASSERT_TRUE(Open());
  EXPECT_EQ(port.Exchange("ka 05 ff\n", 1000, kNoPause), "a 01 OK01x");
  EXPECT_EQ(port.Exchange("kh 0f 20\n", 1000, kNoPause), "h 01 OK20x");
  // Longer than ten bytes: a read that stopped at nine queued bytes would cut it.
  EXPECT_EQ(port.Exchange("fa 0f ff ff ff\n", 1000, kNoPause).size(), 14u);
  EXPECT_EQ(port.Exchange("kh 0f ff\n", 1000, kNoPause), "h 01 OK20x");
}

// The only real waits of the suite, side by side: a set ID nobody answers to costs the whole
// time-out and gives the empty text.
TEST_F(SerialPortTest, SilenceCostsTheTimeOutAndGivesNothing) {
  Line({.setIds = {"05"}});
  ASSERT_TRUE(Open());
  sim::CommandLog otherLog;
  sim::SerialLine other({.setIds = {"05"}}, otherLog);
  testing::RecordingUiHost otherUi;
  CSerialPort otherPort(otherUi);
  ::setenv("TARNEX_COM4", other.Path().c_str(), 1);
  ASSERT_TRUE(otherPort.OpenSerialPort("COM4", 9600, 8, 0, 0));
  ::unsetenv("TARNEX_COM4");

  std::string longReply = "unset";
  Clock::duration longWait{};
  std::thread longer([&] {
    const auto start = Clock::now();
    longReply = otherPort.Exchange("ka 02 ff\n", 3000, kNoPause);
    longWait = Clock::now() - start;
  });
  const auto start = Clock::now();
  EXPECT_EQ(port.Exchange("ka 07 ff\n", 1000, kNoPause), "");
  const auto shortWait = Clock::now() - start;
  longer.join();
  EXPECT_EQ(longReply, "");
  EXPECT_GE(shortWait, 1000ms);
  EXPECT_LT(shortWait, 2500ms);
  EXPECT_GE(longWait, 3000ms);
  EXPECT_LT(longWait, 4500ms);
}

// Cases the simulator does not make, fed byte for byte.
class SerialReadTest : public SerialPortTest {
 protected:
  void SetUp() override {
    Route(peer.Path());
    ASSERT_TRUE(Open());
  }
  testing::SerialTestPeer peer;
};

TEST_F(SerialReadTest, AnotherDisplaysLateReplyIsPassedOver) {
  peer.Send("a 07 OK00x");
  peer.Send("a 05 OK01x");
  EXPECT_EQ(port.SerialRead("05", 500), "a 01 OK01x");
}

TEST_F(SerialReadTest, UnfinishedReplyIsReturnedAsItStandsAfterTheTimeOut) {
  peer.Send("a 05 OK0");
  const auto start = Clock::now();
  EXPECT_EQ(port.SerialRead("05", 300), "a 05 OK0");
  EXPECT_GE(Clock::now() - start, 300ms);
}

TEST_F(SerialReadTest, LeadingLineEndsAreNotPartOfTheReply) {
  peer.Send("\r\na 05 OK01x");
  EXPECT_EQ(port.SerialRead("05", 500), "a 01 OK01x");
}

TEST_F(SerialReadTest, EndlessBytesStopAtTheReadBuffer) {
  peer.Send(std::string(5000, 'a'));
  const std::string got = port.SerialRead("05", 500);
  EXPECT_EQ(got.size(), CSerialPort::kReadBufferSize);
}

TEST_F(SerialReadTest, InputLeftFromEarlierIsDiscardedBeforeTheNextCommand) {
  peer.Send("a 05 OK01x");  // nobody read it
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(port.SerialWrite("kd 05 ff\n"), 9u);
  EXPECT_EQ(peer.Received(500ms), "kd 05 ff\n");
  peer.Send("d 05 OK00x");
  EXPECT_EQ(port.SerialRead("05", 500), "d 01 OK00x");
}

// Nobody reads the line: the write gives up instead of blocking its caller for ever.
TEST_F(SerialReadTest, WriteToAStalledLineIsBounded) {
  ASSERT_TRUE(Open(115200));
  const std::string flood(1 << 20, 'a');
  const auto start = Clock::now();
  EXPECT_LT(port.SerialWrite(flood), flood.size());
  EXPECT_LT(Clock::now() - start, 3s);
}

// A worker waits for a display that stays silent; `act` runs once the wait is under way. The
// reply is what the wait gave, and the times are from the start of `act` until it returned
// and until the wait ended.
struct Interrupted {
  std::string reply;
  Clock::duration act, wait;
};
template <typename Read, typename Act>
Interrupted InterruptRead(Read read, Act act) {
  Interrupted result{"unset", {}, {}};
  std::atomic<bool> reading{false};
  Clock::time_point ended;
  std::thread worker([&] {
    reading = true;
    result.reply = read();
    ended = Clock::now();
  });
  while (!reading) std::this_thread::yield();
  std::this_thread::sleep_for(200ms);  // into its poll
  const auto start = Clock::now();
  act();
  result.act = Clock::now() - start;
  worker.join();
  result.wait = ended - start;
  return result;
}

// The console is closing: a wait for the reply ends at once with nothing, even with part of a
// reply in, and an exchange after that does not wait either.
TEST_F(SerialReadTest, ACancelEndsTheWaitAtOnceWithNothing) {
  CancelToken stop;
  peer.Send("a 05 OK0");
  const Interrupted read =
      InterruptRead([&] { return port.SerialRead("05", 3000, stop.Fd()); }, [&] { stop.Cancel(); });
  EXPECT_EQ(read.reply, "");
  EXPECT_LT(read.wait, 500ms);
  const auto start = Clock::now();
  EXPECT_EQ(port.Exchange("ka 05 ff\n", 3000, kNoPause, stop.Fd()), "");
  EXPECT_LT(Clock::now() - start, 500ms);
}

// The window's thread opens or closes the port while a worker waits for a silent display:
// neither waits for the read's time-out, the read gives up with nothing, and the line opened
// again answers.
TEST_F(SerialReadTest, OpenAndCloseDoNotWaitForAReadInProgress) {
  const auto read = [&] { return port.SerialRead("05", 3000); };
  const Interrupted reopened = InterruptRead(read, [&] { EXPECT_TRUE(Open()); });
  peer.Send("a 05 OK01x");
  EXPECT_EQ(port.SerialRead("05", 500), "a 01 OK01x");
  const Interrupted closed = InterruptRead(read, [&] { port.ClosePort(); });
  for (const Interrupted& each : {reopened, closed}) {
    EXPECT_EQ(each.reply, "");
    EXPECT_LT(each.act, 500ms);
    EXPECT_LT(each.wait, 500ms);
  }
  EXPECT_FALSE(port.IsOpen());
}

TEST_F(SerialReadTest, ClosingIsTraced) {
  testing::TraceRecorder traces;
  port.ClosePort();
  port.ClosePort();
  EXPECT_EQ(traces.Lines(), (std::vector<std::string>{"ClosePort", "Close Port: COM3 \r\n",
                                                      "COM3 Port not yet open \r\n"}));
  EXPECT_EQ(port.SerialRead("05", 100), "");
}

}  // namespace
}  // namespace tarnex
