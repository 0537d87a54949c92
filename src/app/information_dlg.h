#pragma once

#include <QDialog>
#include <optional>

class QPushButton;

namespace tarnex {

// The Yes/No question put before a change of link is saved ("Imformation").
class CInformationDlg : public QDialog {
 public:
  static constexpr const char* kTitle = "Imformation";
  static constexpr const char* kText =
      "      Save changes to the communication setting?       If you select 'Yes', please "
      "reboot the program.";

  explicit CInformationDlg(QWidget* parent = nullptr);

  // Runs the question modally; true for Yes. An answer set with SetNextAnswer is taken instead,
  // once, without showing anything.
  static bool Ask(QWidget* parent);
  // For tests: the answer the next Ask gives; nullopt asks the operator again.
  static void SetNextAnswer(std::optional<bool> answer);

  QPushButton* YesButton() const { return m_yes; }
  QPushButton* NoButton() const { return m_no; }

 private:
  QPushButton* m_yes = nullptr;
  QPushButton* m_no = nullptr;
};

}  // namespace tarnex
