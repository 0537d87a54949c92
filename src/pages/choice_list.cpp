#include "pages/choice_list.h"

#include <QComboBox>
#include <QSignalBlocker>

namespace tarnex {

void FillChoiceList(QComboBox* list, std::span<const std::string_view> entries) {
  const QSignalBlocker quiet(list);
  list->clear();
  for (std::string_view entry : entries) {
    list->addItem(QString::fromUtf8(entry.data(), static_cast<qsizetype>(entry.size())));
  }
  list->setCurrentIndex(-1);
}

void ShowChoice(QComboBox* list, int position) {
  const QSignalBlocker quiet(list);
  list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
}

}  // namespace tarnex
