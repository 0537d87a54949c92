#include "display-sim/message_board.h"

#include "display-sim/command_line_parser.h"

namespace tarnex::sim {
namespace {

constexpr int kEndOfText = 0x80;
constexpr size_t kFrameHeader = 3;  // sub-command, offset, count

bool InRange(const std::optional<int>& value, int low, int high) {
  return value && *value >= low && *value <= high;
}

// The characters of one text frame, and whether the end code closes it.
struct FrameText {
  std::string characters;
  bool ends = false;
};

std::optional<FrameText> DecodeFrameText(const std::vector<std::string>& fields) {
  FrameText text;
  for (size_t i = kFrameHeader; i < fields.size(); ++i) {
    const auto code = ParseHexField(fields[i]);
    const bool last = i + 1 == fields.size();
    if (code && *code == kEndOfText && last) {
      text.ends = true;
    } else if (InRange(code, 1, 0x7f)) {
      text.characters.push_back(static_cast<char>(*code));
    } else {
      return std::nullopt;
    }
  }
  return text;
}

}  // namespace

std::optional<std::string> MessageBoard::Apply(const std::vector<std::string>& fields) {
  if (fields.size() < 2) return std::nullopt;
  const auto sub = ParseHexField(fields[0]);
  if (!sub) return std::nullopt;
  bool applied = false;
  switch (*sub) {
    case 1:
      applied = ApplyVisibility(fields);
      break;
    case 2:
      applied = ApplyTextFrame(fields);
      break;
    case 3:
      applied = ApplyPosition(fields);
      break;
    case 4:
      applied = ApplyColour(fields);
      break;
    case 5:
      applied = ApplySize(fields);
      break;
    default:
      break;
  }
  if (!applied) return std::nullopt;
  const auto first = ParseHexField(fields[1]);
  return HexByte(*sub) + HexByte(first.value_or(0));
}

bool MessageBoard::ApplyVisibility(const std::vector<std::string>& fields) {
  const auto order = ParseHexField(fields[1]);
  if (fields.size() != 2 || !InRange(order, 0, 1)) return false;
  visible_ = *order == 1;
  if (visible_) shown_ = received_.substr(0, endOfText_.value_or(received_.size()));
  return true;
}

// A frame that would leave a hole in the text (an offset past what arrived) is refused, so a
// lost or misnumbered frame shows up as a refusal rather than as a quietly garbled text.
bool MessageBoard::ApplyTextFrame(const std::vector<std::string>& fields) {
  if (fields.size() < kFrameHeader + 1) return false;
  const auto offset = ParseHexField(fields[1]);
  const auto count = ParseHexField(fields[2]);
  if (!offset || !count || static_cast<size_t>(*count) != fields.size() - kFrameHeader) {
    return false;
  }
  const auto text = DecodeFrameText(fields);
  if (!text) return false;
  const auto start = static_cast<size_t>(*offset);
  if (start > received_.size()) return false;
  received_.resize(start);
  if (endOfText_ && *endOfText_ > start) endOfText_.reset();
  received_ += text->characters;
  if (text->ends) endOfText_ = received_.size();
  return true;
}

bool MessageBoard::ApplyPosition(const std::vector<std::string>& fields) {
  if (fields.size() != 3) return false;
  const auto row = ParseDecimalField(fields[1]);
  const auto column = ParseDecimalField(fields[2]);
  if (!InRange(row, 0, 2) || !InRange(column, 0, 2)) return false;
  layout_.row = *row;
  layout_.column = *column;
  return true;
}

bool MessageBoard::ApplyColour(const std::vector<std::string>& fields) {
  const auto colour = ParseHexField(fields[1]);
  if (fields.size() != 2 || !InRange(colour, 1, 7)) return false;
  layout_.colour = *colour;
  return true;
}

bool MessageBoard::ApplySize(const std::vector<std::string>& fields) {
  const auto size = ParseHexField(fields[1]);
  if (fields.size() != 2 || !InRange(size, 1, 3)) return false;
  layout_.size = *size;
  return true;
}

bool MessageBoard::IsShowOrder(std::string_view line) {
  if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
  // "F# 01 01 01": any set ID, sub-command 01, argument 01.
  return line.size() == 11 && line.starts_with("F# ") && line.substr(5) == " 01 01";
}

}  // namespace tarnex::sim
