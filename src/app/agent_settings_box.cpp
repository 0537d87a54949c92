#include "app/agent_settings_box.h"

#include <unistd.h>

#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <filesystem>

namespace tarnex {
namespace {

constexpr int kMaxBoxChars = 4096;

std::string TextOf(const QLineEdit* edit) {
  return edit->text().trimmed().toStdString();
}

}  // namespace

AgentSettingsBox::AgentSettingsBox(QWidget* parent)
    : QGroupBox(QStringLiteral("Agent Setting"), parent) {
  auto* form = new QFormLayout(this);
  m_broker = AddEdit(form, "&Broker", "Broker", "The MQTT broker as HOST:PORT");
  m_site = AddEdit(form, "S&ite", "Site", "The site the agent publishes");
  m_caFile = AddEdit(form, "&CA File", "CA file", "The CA certificate for TLS; empty: no TLS");
  m_user = AddEdit(form, "&User", "User", "The broker user; empty: no login");
  m_passwordFile = AddEdit(form, "Pass&word File", "Password file",
                           "A file of mode 0600 whose first line is the password");
}

QLineEdit* AgentSettingsBox::AddEdit(QFormLayout* form, const char* label, const char* name,
                                     const char* hint) {
  auto* edit = new QLineEdit(this);
  edit->setMaxLength(kMaxBoxChars);
  edit->setAccessibleName(QString::fromLatin1(name));
  edit->setAccessibleDescription(QString::fromLatin1(hint));
  edit->setToolTip(QString::fromLatin1(hint));
  auto* caption = new QLabel(QString::fromLatin1(label), this);
  caption->setBuddy(edit);
  form->addRow(caption, edit);
  return edit;
}

void AgentSettingsBox::Show(const AgentSettings& settings) {
  m_broker->setText(QString::fromStdString(settings.broker));
  m_site->setText(QString::fromStdString(settings.site));
  m_caFile->setText(QString::fromStdString(settings.caFile));
  m_user->setText(QString::fromStdString(settings.user));
  m_passwordFile->setText(QString::fromStdString(settings.passwordFile));
}

AgentSettings AgentSettingsBox::Settings(bool enabled) const {
  return {.enabled = enabled,
          .broker = TextOf(m_broker),
          .site = TextOf(m_site),
          .caFile = TextOf(m_caFile),
          .user = TextOf(m_user),
          .passwordFile = TextOf(m_passwordFile)};
}

QString AgentSettingsBox::Problem() const {
  const AgentSettings settings = Settings(true);
  const std::string why = CheckAgentSettings(settings);
  if (!why.empty()) return QString::fromStdString(why);
  if (!settings.caFile.empty()) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(settings.caFile, error) ||
        ::access(settings.caFile.c_str(), R_OK) != 0)
      return QStringLiteral("The CA file %1 cannot be read.")
          .arg(QString::fromStdString(settings.caFile));
  }
  if (!settings.passwordFile.empty()) {
    const PasswordRead read = ReadPasswordFile(settings.passwordFile);
    if (!read.password) return QString::fromStdString(read.error);
  }
  return {};
}

}  // namespace tarnex
