#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "monitor/read_context.h"

namespace tarnex {

// One expected reply of a setting and the list position it selects.
struct ReplyPosition {
  std::string_view reply;  // complete, ten characters: "d 01 OK01x"
  int position;
};

// The position the reply selects: its first ten characters are compared with each expected
// reply in table order, and the first equal one wins. Trailing characters do not count.
std::optional<int> MatchPosition(std::string_view reply, std::span<const ReplyPosition> table);

// Reads one list setting of the read's display: a query and the table of its replies. A
// page holds one per readable list and stores what Read returns in its value member.
class PageReader {
 public:
  constexpr PageReader(std::string_view query, std::span<const ReplyPosition> table)
      : m_query(query), m_table(table) {}

  // The position the display reports; nothing when it did not answer or answered something
  // the table does not know, and the control then keeps its value.
  std::optional<int> Read(const ReadContext& context) const;

  std::string_view Query() const { return m_query; }
  std::span<const ReplyPosition> Table() const { return m_table; }

 private:
  std::string_view m_query;
  std::span<const ReplyPosition> m_table;
};

}  // namespace tarnex
