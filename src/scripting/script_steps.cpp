#include "scripting/script_steps.h"

#include <array>
#include <utility>

#include "monitor/control_tables.h"
#include "monitor/display_kind.h"
#include "protocol/command_catalogue.h"
#include "protocol/command_frame.h"

namespace tarnex {
namespace {

struct InputChoice {
  std::string_view name;
  size_t positionKind1;  // in the kind-1 command table, or kNone
  size_t positionOther;
};
constexpr size_t kNone = 99;

// The names map on the lists the Control page shows for each kind of display.
constexpr std::array<InputChoice, 8> kInputs = {{
    {"av", 0, 0},
    {"component1", 1, 1},
    {"component2", kNone, 2},
    {"rgb1", 2, 3},
    {"rgb2", kNone, 4},
    {"hdmi1", 3, 5},
    {"hdmi2", 4, kNone},
    {"hdmi3", 5, kNone},
}};

constexpr std::array<std::pair<std::string_view, std::string_view>, 8> kInputCodes = {{
    {"OK20x", "av"},
    {"OK40x", "component1"},
    {"OK41x", "component2"},
    {"OK60x", "rgb1"},
    {"OK61x", "rgb2"},
    {"OK90x", "hdmi1"},
    {"OK91x", "hdmi2"},
    {"OK92x", "hdmi3"},
}};

std::optional<std::string_view> Ack(const std::optional<std::string>& reply) {
  if (!reply) return std::nullopt;
  return protocol::AckPart(*reply);
}

}  // namespace

std::optional<MemberQuery> ScriptSteps::Start() {
  if (m_queries.empty()) return std::nullopt;
  return m_queries.front();
}

std::optional<MemberQuery> ScriptSteps::Next(std::optional<std::string> reply) {
  const bool silent = !reply.has_value();
  m_replies.push_back(std::move(reply));
  if (!m_input.empty() && m_replies.size() == 1) {
    // The kind decides which command, if any, picks the input on this display.
    const int kind = DisplayKindOf(m_replies.front());
    const bool listB = control::UsesInputListB(kind);
    for (const InputChoice& choice : kInputs) {
      if (choice.name != m_input) continue;
      const size_t position = listB ? choice.positionKind1 : choice.positionOther;
      if (position == kNone) {
        m_unsupported = true;
        return std::nullopt;
      }
      const auto& table = listB ? control::kInputCommandsKind1 : control::kInputCommandsOther;
      m_queries.push_back({.command = std::string(table[position].command)});
      m_history = std::string(table[position].history);
    }
    return m_queries.size() > 1 ? std::optional(m_queries[1]) : std::nullopt;
  }
  if ((silent && !m_whatever) || m_replies.size() >= m_queries.size()) return std::nullopt;
  return m_queries[m_replies.size()];
}

ScriptSteps ScriptSteps::ForInput(std::string_view name) {
  ScriptSteps steps({{.command = std::string(protocol::query::kDisplayKind), .once = true}});
  steps.m_input = std::string(name);
  return steps;
}

bool Acknowledged(const std::optional<std::string>& reply) {
  const auto ack = Ack(reply);
  return ack && ack->starts_with("OK");
}

bool Refused(const std::optional<std::string>& reply) {
  const auto ack = Ack(reply);
  return ack && ack->starts_with("NG");
}

std::string PowerWord(const std::optional<std::string>& reply) {
  const auto ack = Ack(reply);
  if (ack == "OK01x") return "on";
  if (ack == "OK00x") return "off";
  return "unknown";
}

std::string MuteWord(const std::optional<std::string>& reply) {
  return PowerWord(reply);
}

std::string InputWord(const std::optional<std::string>& reply) {
  const auto ack = Ack(reply);
  for (const auto& [code, name] : kInputCodes) {
    if (ack == code) return std::string(name);
  }
  return "unknown";
}

}  // namespace tarnex
