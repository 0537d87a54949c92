#include "app/information_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tarnex {
namespace {

// UI thread only, as every dialog.
std::optional<bool>& NextAnswer() {
  static std::optional<bool> answer;
  return answer;
}

}  // namespace

CInformationDlg::CInformationDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromLatin1(kTitle));
  auto* text = new QLabel(QString::fromLatin1(kText), this);
  text->setWordWrap(true);
  m_yes = new QPushButton(QStringLiteral("Yes"), this);
  m_no = new QPushButton(QStringLiteral("No"), this);
  connect(m_yes, &QPushButton::clicked, this, &QDialog::accept);
  connect(m_no, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(m_yes);
  buttons->addWidget(m_no);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text);
  layout->addLayout(buttons);
}

bool CInformationDlg::Ask(QWidget* parent) {
  if (const std::optional<bool> answer = std::exchange(NextAnswer(), std::nullopt)) return *answer;
  CInformationDlg question(parent);
  return question.exec() == QDialog::Accepted;
}

void CInformationDlg::SetNextAnswer(std::optional<bool> answer) {
  NextAnswer() = answer;
}

}  // namespace tarnex
