#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tarnex::sim {

// Where and how the on-screen message is drawn.
struct MessageLayout {
  int row = 2;     // 0 top .. 2 bottom
  int column = 1;  // 0 left .. 2 right
  int colour = 7;  // 1 black .. 7 white
  int size = 2;    // 1 small .. 3 large
};

// The on-screen message of one display, fed with the fields of "F#" commands.
//
// Text frames carry an offset, a count and up to seven character codes; the code 80 ends the
// text. A frame at offset 0 starts a new text. The text shown is taken when the "show" order
// arrives, not while frames come in: the console sends the first frames of a long text before
// it hides the previous one, so the old text must stay intact until the new one is shown.
// "Hide" (also the console's Clear button) empties the screen but keeps the received text.
class MessageBoard {
 public:
  // The command line (with or without its line feed) is the "show" order: after it, the
  // program logs the text on screen.
  static bool IsShowOrder(std::string_view line);

  // Applies one command's fields (sub-command first). Returns the data the display
  // acknowledges with, sub-command and first argument ("0100"), or nullopt when the frame is
  // malformed and changes nothing.
  std::optional<std::string> Apply(const std::vector<std::string>& fields);

  // The text on screen; empty while hidden.
  std::string ShownText() const { return visible_ ? shown_ : std::string(); }
  const MessageLayout& Layout() const { return layout_; }

 private:
  bool ApplyVisibility(const std::vector<std::string>& fields);
  bool ApplyTextFrame(const std::vector<std::string>& fields);
  bool ApplyPosition(const std::vector<std::string>& fields);
  bool ApplyColour(const std::vector<std::string>& fields);
  bool ApplySize(const std::vector<std::string>& fields);

  std::string received_;             // text assembled from frames so far
  std::optional<size_t> endOfText_;  // length once the end code arrived
  std::string shown_;
  bool visible_ = false;
  MessageLayout layout_;
};

}  // namespace tarnex::sim
