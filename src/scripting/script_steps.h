#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/member_sequence.h"
#include "scripting/script_report.h"

namespace tarnex {

// One display's part of a script request: its queries one after another, each sent when the
// last has its reply, ended by the first silence. What the replies said becomes the display's
// result once the run is over.
class ScriptSteps : public MemberSequence {
 public:
  explicit ScriptSteps(std::vector<MemberQuery> queries, bool whateverTheReply = false)
      : m_queries(std::move(queries)), m_whatever(whateverTheReply) {}

  std::optional<MemberQuery> Start() override;
  std::optional<MemberQuery> Next(std::optional<std::string> reply) override;

  const std::vector<std::optional<std::string>>& Replies() const { return m_replies; }
  bool Finished() const { return m_replies.size() == m_queries.size(); }
  // input: the history line of the command the kind chose; whether the kind has no such input.
  const std::string& HistoryLine() const { return m_history; }
  bool Unsupported() const { return m_unsupported; }

  // input NAME: the kind query first; the command that picks the input on that kind next.
  static ScriptSteps ForInput(std::string_view name);

 private:
  std::vector<MemberQuery> m_queries;
  std::vector<std::optional<std::string>> m_replies;
  bool m_whatever = false;
  std::string m_input;  // input steps: the name chosen
  std::string m_history;
  bool m_unsupported = false;
};

// "OK.." or "NG.." of a reply: whether the display took the command.
bool Acknowledged(const std::optional<std::string>& reply);
bool Refused(const std::optional<std::string>& reply);

// The words of a status reply: "on"/"off", an input name, "unknown" for anything else.
std::string PowerWord(const std::optional<std::string>& reply);
std::string InputWord(const std::optional<std::string>& reply);
std::string MuteWord(const std::optional<std::string>& reply);

}  // namespace tarnex
