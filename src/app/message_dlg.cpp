#include "app/message_dlg.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/dialog_keys.h"
#include "monitor/message_frames.h"

namespace tarnex {
namespace {

constexpr const char* kPlaces[] = {"Top/Left",    "Top/Center",    "Top/Right",
                                   "Middle/Left", "Middle/Center", "Middle/Right",
                                   "Bottom/Left", "Bottom/Center", "Bottom/Right"};
constexpr const char* kColours[] = {"Black", "Blue", "Green", "Red", "Cyan", "Yellow", "White"};
constexpr const char* kSizes[] = {"Small", "Medium", "Large"};

QComboBox* List(QWidget* parent, const char* name, std::initializer_list<const char*> items) {
  auto* list = new QComboBox(parent);
  for (const char* item : items) list->addItem(QString::fromLatin1(item));
  list->setAccessibleName(QString::fromLatin1(name));
  return list;
}

QGroupBox* Frame(QWidget* parent, const char* title, QLayout* layout) {
  auto* frame = new QGroupBox(QString::fromLatin1(title), parent);
  frame->setLayout(layout);
  return frame;
}

}  // namespace

CMessage::CMessage(MessageActions actions, MessagePresenter present, QWidget* parent)
    : QDialog(parent), m_actions(std::move(actions)), m_present(std::move(present)) {
  setWindowTitle(QStringLiteral("Message Setting"));
  BuildLayout();
  m_alignment->button(kInitialAlignment)->setChecked(true);
  m_colour->setCurrentIndex(kInitialColour);
  m_size->setCurrentIndex(kInitialSize);
  m_counter->setText(QStringLiteral("0 / 70"));
  m_text->setFocus();

  m_text->installEventFilter(this);
  connect(m_text, &QPlainTextEdit::textChanged, this, &CMessage::OnTextChanged);
  connect(m_alignment, &QButtonGroup::idClicked, this, [this](int id) {
    if (m_actions.place) m_actions.place(id);
  });
  connect(m_colour, &QComboBox::activated, this, [this](int index) {
    if (m_actions.colour) m_actions.colour(index);
  });
  connect(m_size, &QComboBox::activated, this, [this](int index) {
    if (m_actions.size) m_actions.size(index);
  });
  connect(m_clear, &QPushButton::clicked, this, [this] {
    if (m_actions.clear) m_actions.clear();
  });
  connect(m_send, &QPushButton::clicked, this, &CMessage::OnSend);
  connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
}

// Made in the order they stand, which is the Tab order: the text first.
void CMessage::BuildLayout() {
  m_text = new QPlainTextEdit(this);
  m_text->setAccessibleName(QStringLiteral("Message Send"));
  m_text->setTabChangesFocus(true);
  m_counter = new QLineEdit(this);
  m_counter->setReadOnly(true);
  m_counter->setAccessibleName(QStringLiteral("Message length"));
  auto* textRow = new QHBoxLayout;
  textRow->addWidget(m_text, 1);
  textRow->addWidget(m_counter);

  auto* places = new QGridLayout;
  m_alignment = new QButtonGroup(this);
  for (int n = 0; n < 9; ++n) {
    auto* button = new QRadioButton(QString::fromLatin1(kPlaces[n]), this);
    m_alignment->addButton(button, n);
    places->addWidget(button, n / 3, n % 3);
  }

  m_colour = List(
      this, "Message Color",
      {kColours[0], kColours[1], kColours[2], kColours[3], kColours[4], kColours[5], kColours[6]});
  m_size = List(this, "Message Size", {kSizes[0], kSizes[1], kSizes[2]});
  auto* colourRow = new QHBoxLayout;
  colourRow->addWidget(m_colour);
  auto* sizeRow = new QHBoxLayout;
  sizeRow->addWidget(m_size);
  auto* lists = new QHBoxLayout;
  lists->addWidget(Frame(this, "Message Color", colourRow));
  lists->addWidget(Frame(this, "Message Size", sizeRow));

  // Alt+S and Alt+C reach Send and Close from the text box, as Enter there does Send.
  m_clear = new QPushButton(QStringLiteral("Clear"), this);
  m_send = new QPushButton(QStringLiteral("&Send"), this);
  m_close = new QPushButton(QStringLiteral("&Close"), this);
  NoDefaultButtons({m_clear, m_send, m_close});
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(m_clear);
  buttons->addStretch();
  buttons->addWidget(m_send);
  buttons->addWidget(m_close);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Frame(this, "Message Send", textRow));
  layout->addWidget(Frame(this, "Message Align", places));
  layout->addLayout(lists);
  layout->addLayout(buttons);
}

// The text is held to what a display can take and the counter shows its real length, however
// the text changed: typed, pasted or cut.
void CMessage::OnTextChanged() {
  QString text = m_text->toPlainText();
  if (text.size() > kMessageMaxLength) {
    const QSignalBlocker quiet(m_text);
    text.truncate(kMessageMaxLength);
    m_text->setPlainText(text);
    m_text->moveCursor(QTextCursor::End);
  }
  m_counter->setText(QStringLiteral("%1 / 70").arg(text.size()));
}

void CMessage::OnSend() {
  const QString text = m_text->toPlainText();
  std::string told;
  if (text.isEmpty()) {
    told = "Please write a message";
  } else if (const std::string bytes = text.toStdString(); !MessageSupported(bytes)) {
    told = "This sentence is not supported";
  } else if (m_actions.send) {
    told = m_actions.send(bytes, m_alignment->checkedId(), m_colour->currentIndex());
  }
  if (!told.empty() && m_present) m_present(this, QString::fromStdString(told));
}

bool CMessage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_text && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
      OnSend();
      return true;
    }
  }
  return QDialog::eventFilter(watched, event);
}

void CMessage::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace tarnex
