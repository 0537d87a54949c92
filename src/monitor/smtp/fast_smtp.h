#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/alarm_mailer.h"

namespace tarnex {

// One recipient as the header names it: "<address>", the console never giving a name.
class CRecipient {
 public:
  explicit CRecipient(std::string address) : m_text("<" + address + ">") {}
  virtual ~CRecipient() = default;

  const std::string& Text() const { return m_text; }
  // The mailbox without its brackets, for the envelope.
  std::string Address() const { return m_text.substr(1, m_text.size() - 2); }

 private:
  std::string m_text;
};

// The alarm mail as it goes on the wire: the envelope and the message, composed without any
// I/O so that what a server receives is decided here and tested here. The sending itself
// belongs to an SMTP library, which does the dialogue (greeting, EHLO, reply codes, dot-
// stuffing, STARTTLS, AUTH) that a hand-written client gets wrong.
//
// Texts that reach a header or an SMTP command must not carry CR, LF or NUL: a setting
// edited by hand could otherwise add header lines or commands. Such a setting makes the mail
// unsafe (Unsafe()) and nothing may be sent.
class CFastSmtp {
 public:
  virtual ~CFastSmtp() = default;

  void SetFromName(std::string name) { m_fromName = std::move(name); }
  void SetFromAddress(std::string address) { m_fromAddress = std::move(address); }
  // Replaces the recipient; false, and no recipient, for an empty address.
  bool SetRecipient(const std::string& address);
  void SetSubjectText(std::string subject) { m_subject = std::move(subject); }
  void SetBodyText(std::string body) { m_body = std::move(body); }
  void SetBodyTail(std::string tail) { m_tail = std::move(tail); }

  // The header lines at `now` (UTC), ending with the blank line; none without a recipient.
  std::optional<std::string> BuildHeader(std::time_t now) const;
  // Header, body and tail, every line ended by CR LF, as the DATA of the mail (the SMTP
  // library adds the final dot and stuffs leading dots).
  std::optional<std::string> Message(std::time_t now) const;

  const std::string& FromAddress() const { return m_fromAddress; }
  const std::vector<CRecipient>& Recipients() const { return m_to; }
  // A text bound for a header or a command holds CR, LF or NUL.
  bool Unsafe() const;

 private:
  std::string m_fromName;
  std::string m_fromAddress;
  std::string m_subject;
  std::string m_body;
  std::string m_tail;
  std::vector<CRecipient> m_to;
};

// The body and its tail for an alarm of that kind about the display at `address`.
struct AlarmText {
  std::string body;
  std::string tail;
};
AlarmText AlarmTextOf(AlarmKind kind, std::string_view address);

// The four alarm settings of the document.
struct AlarmSettings {
  std::string subject;
  std::string to;
  std::string from;
  std::string server;
};

// One mailbox as "local@domain", nothing more: no display name, no brackets, no list, no
// spaces or control characters. Anything else would reach the envelope as it stands, where
// "a@b> SIZE=1" adds parameters to MAIL FROM and "a@b>,<c@d" adds a recipient.
bool IsMailAddress(std::string_view address);
// Why the setting of the field named `field` ("TO", "FROM") cannot be used; empty when it can.
// An empty setting is the operator's "no mail" and is told elsewhere.
std::string AddressProblem(std::string_view field, std::string_view address);

// The mail of one alarm, or the words that tell the operator why there is none ("Put Server
// Name" for an empty server, "Put Receiver Name" for an empty recipient, or why a setting
// cannot be used).
struct AlarmComposition {
  std::optional<CFastSmtp> mail;
  std::string problem;
  // The mail client's own words for it on the console ("Please add a message recipient!").
  std::string diagnostic;
};
AlarmComposition ComposeAlarmMail(AlarmKind kind, std::string_view address,
                                  const AlarmSettings& settings);

// "Tue, 08 Dec 2026 10:00:00 +0000": the date of a mail header, English names whatever the
// locale.
std::string MailDate(std::time_t now);

// The subject as a header carries it: as it is when it is printable ASCII, otherwise as one
// encoded word of its UTF-8 text ("=?UTF-8?B?...?="). `utf8` is the subject's text in UTF-8.
std::string HeaderSubject(std::string_view utf8);

}  // namespace tarnex
