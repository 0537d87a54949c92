#pragma once

#include <span>
#include <string_view>

class QComboBox;

namespace tarnex {

// The drop-down lists of the pages: filled from constant tables, in table order, never sorted;
// the position in the list is the value the page sends and reads.

// Replaces the entries without telling the page: filling is no operator choice.
void FillChoiceList(QComboBox* list, std::span<const std::string_view> entries);

// Shows the position without telling the page; a position beyond the last entry shows none.
// A value the display reported must never be sent back as if the operator had chosen it.
void ShowChoice(QComboBox* list, int position);

}  // namespace tarnex
