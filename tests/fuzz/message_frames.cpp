// The on-screen message frames: for any text the dialog lets through, every frame is one
// printable line, and the data frames carry the text whole and in order.
#include "monitor/message_frames.h"
#include "fuzz_support.h"

using namespace tarnex;

namespace {

constexpr std::string_view kDataFrame = "F# 01 02 ";

// A two-character field, "%2x" blank-padded.
int FieldValue(std::string_view field) {
  int value = 0;
  for (const char c : field) {
    if (c == ' ') continue;
    TARNEX_FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
    value = value * 16 + (c <= '9' ? c - '0' : c - 'a' + 10);
  }
  return value;
}

void CheckLine(const std::string& frame) {
  TARNEX_FUZZ_CHECK(frame.size() >= 12 && frame.back() == '\n');
  TARNEX_FUZZ_CHECK(fuzz::Printable(std::string_view(frame).substr(0, frame.size() - 1)));
  TARNEX_FUZZ_CHECK(frame.compare(0, 7, "F# 01 0") == 0);
}

// The character codes of one data frame: its offset and count fields first, then up to seven
// codes, the text's end marked by 80.
void Decode(const std::string& frame, std::string& text) {
  const std::string_view body = std::string_view(frame).substr(kDataFrame.size());
  TARNEX_FUZZ_CHECK(body.size() % 3 == 0);
  const size_t fields = body.size() / 3;
  TARNEX_FUZZ_CHECK(fields >= 3 && fields <= 2 + 7 + 1);
  TARNEX_FUZZ_CHECK(static_cast<size_t>(FieldValue(body.substr(0, 2))) == text.size());
  for (size_t i = 2; i < fields; ++i) {
    const int code = FieldValue(body.substr(3 * i, 2));
    TARNEX_FUZZ_CHECK(body[3 * i + 2] == (i + 1 == fields ? '\n' : ' '));
    if (code == 0x80 && i + 1 == fields) break;
    text += static_cast<char>(code);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  fuzz::Input input(data, size);
  const int alignment = static_cast<int8_t>(input.Byte());
  const int colour = static_cast<int8_t>(input.Byte());
  const std::string_view text = input.Rest();

  CheckLine(MessagePlaceCommand(alignment));
  CheckLine(MessageColourCommand(colour));
  CheckLine(MessageSizeCommand(colour));
  const MessagePlace place = MessagePlaceOf(alignment);
  TARNEX_FUZZ_CHECK(place.row >= 0 && place.row < 3 && place.column >= 0 && place.column < 3);

  if (!MessageSupported(text)) return 0;
  TARNEX_FUZZ_CHECK(!text.empty() && text.size() <= static_cast<size_t>(kMessageMaxLength));
  const std::vector<std::string> frames = MessageFrames(text, alignment, colour);
  TARNEX_FUZZ_CHECK(!frames.empty() && frames.back() == kShowMessage);
  std::string carried;
  bool hidden = false;
  for (const std::string& frame : frames) {
    CheckLine(frame);
    if (frame == kHideMessage) hidden = true;
    if (frame.compare(0, kDataFrame.size(), kDataFrame) == 0) Decode(frame, carried);
  }
  TARNEX_FUZZ_CHECK(hidden && carried == text);
  return 0;
}
