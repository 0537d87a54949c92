#pragma once

#include <QGroupBox>
#include <QString>

#include "app/agent_settings.h"

class QFormLayout;
class QLineEdit;

namespace tarnex {

// The Setting dialog's frame for the site agent: the broker, the site, the TLS CA file, the
// user and the password file. Each box is named for a screen reader and reached with Tab.
class AgentSettingsBox : public QGroupBox {
 public:
  explicit AgentSettingsBox(QWidget* parent = nullptr);

  void Show(const AgentSettings& settings);
  // What the boxes say, with `enabled` as given.
  AgentSettings Settings(bool enabled) const;
  // Why the boxes cannot be used, in the operator's words; empty when they can. The files
  // named are looked at: the CA file must be readable, the password file the user's own.
  QString Problem() const;

  QLineEdit* BrokerEdit() const { return m_broker; }
  QLineEdit* SiteEdit() const { return m_site; }
  QLineEdit* CaFileEdit() const { return m_caFile; }
  QLineEdit* UserEdit() const { return m_user; }
  QLineEdit* PasswordFileEdit() const { return m_passwordFile; }

 private:
  QLineEdit* AddEdit(QFormLayout* form, const char* label, const char* name, const char* hint);

  QLineEdit* m_broker = nullptr;
  QLineEdit* m_site = nullptr;
  QLineEdit* m_caFile = nullptr;
  QLineEdit* m_user = nullptr;
  QLineEdit* m_passwordFile = nullptr;
};

}  // namespace tarnex
