#include "monitor/smtp/fast_smtp.h"

#include <array>
#include <cstdio>

namespace tarnex {
namespace {

constexpr std::string_view kFromName = "Tarnex Manager Administrator";
constexpr const char* kAddressProblem = " must be one mail address, as name@domain.";
constexpr const char* kFromProblem = "FROM must be one mail address, as name@domain.";

bool HoldsLineBreakOrNul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

// Every line ends with CR LF: a bare LF (the tails' line breaks) or a bare CR becomes one.
std::string WithCrLf(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 8);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      out += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\n') {
      out += "\r\n";
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string Base64(std::string_view bytes) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    const unsigned n = static_cast<unsigned char>(bytes[i]) << 16 |
                       static_cast<unsigned char>(bytes[i + 1]) << 8 |
                       static_cast<unsigned char>(bytes[i + 2]);
    for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(n >> shift) & 63];
  }
  if (i < bytes.size()) {
    unsigned n = static_cast<unsigned char>(bytes[i]) << 16;
    if (i + 1 < bytes.size()) n |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += i + 1 < bytes.size() ? kAlphabet[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

}  // namespace

bool IsMailAddress(std::string_view address) {
  const size_t at = address.find('@');
  if (at == 0 || at == std::string_view::npos || at + 1 == address.size() || address.size() > 254 ||
      address.find('@', at + 1) != std::string_view::npos) {
    return false;
  }
  for (const char c : address) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7f) return false;
    if (std::string_view("<>,;:\"()\\").find(c) != std::string_view::npos) return false;
  }
  return true;
}

std::string AddressProblem(std::string_view field, std::string_view address) {
  if (address.empty() || IsMailAddress(address)) return {};
  return std::string(field) + kAddressProblem;
}

bool CFastSmtp::SetRecipient(const std::string& address) {
  m_to.clear();
  if (address.empty()) return false;
  m_to.emplace_back(address);
  return true;
}

bool CFastSmtp::Unsafe() const {
  for (const std::string* text : {&m_fromName, &m_fromAddress, &m_subject}) {
    if (HoldsLineBreakOrNul(*text)) return true;
  }
  for (const CRecipient& recipient : m_to) {
    if (HoldsLineBreakOrNul(recipient.Text())) return true;
  }
  return false;
}

std::string MailDate(std::time_t now) {
  static constexpr std::array<const char*, 7> kDays = {"Sun", "Mon", "Tue", "Wed",
                                                       "Thu", "Fri", "Sat"};
  static constexpr std::array<const char*, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000",
                kDays[static_cast<size_t>(utc.tm_wday % 7)], utc.tm_mday,
                kMonths[static_cast<size_t>(utc.tm_mon % 12)], utc.tm_year + 1900, utc.tm_hour,
                utc.tm_min, utc.tm_sec);
  return text;
}

std::string HeaderSubject(std::string_view utf8) {
  bool plain = true;
  for (const char c : utf8) {
    const auto byte = static_cast<unsigned char>(c);
    plain = plain && byte >= 0x20 && byte < 0x7f;
  }
  if (plain) return std::string(utf8);
  return "=?UTF-8?B?" + Base64(utf8) + "?=";
}

std::optional<std::string> CFastSmtp::BuildHeader(std::time_t now) const {
  if (m_to.empty()) return std::nullopt;
  std::string to;
  for (const CRecipient& recipient : m_to) to += (to.empty() ? "" : ",") + recipient.Text();
  std::string header = "Date: " + MailDate(now) + "\r\n";
  if (!m_fromName.empty()) header += "From: " + m_fromName + " <" + m_fromAddress + ">\r\n";
  header += "To: " + to + "\r\n";
  header += "Cc: \r\n";
  if (!m_subject.empty()) header += "Subject: " + HeaderSubject(m_subject) + "\r\n";
  header += "MIME-Version: 1.0\r\nContent-type: text/plain; charset=US-ASCII\r\n\r\n";
  return header;
}

std::optional<std::string> CFastSmtp::Message(std::time_t now) const {
  std::optional<std::string> header = BuildHeader(now);
  if (!header || Unsafe()) return std::nullopt;
  return *header + WithCrLf(m_body + m_tail) + "\r\n";
}

AlarmText AlarmTextOf(AlarmKind kind, std::string_view address) {
  const std::string fault = "Monitor(IP : " + std::string(address) + ") Operation is Fault";
  switch (kind) {
    case AlarmKind::kTest:
      return {"This mail is test mail and this is for OUTGOING mail only", ""};
    case AlarmKind::kCredentialsChanged:
      return {"ID or Password is changed and this is for OUTGOING mail only", ""};
    case AlarmKind::kLinkFault:
      return {fault, "\n\nNetwork is not connected and this is for OUTGOING mail only"};
    case AlarmKind::kFanFault:
      return {fault, "\n\nFAN is abnormal and this is for OUTGOING mail only"};
    case AlarmKind::kScheduleFailed:
      return {"Schedule " + std::string(address),
              "\n\nA scheduled run did not reach every display and this is for OUTGOING mail "
              "only"};
  }
  return {};
}

AlarmComposition ComposeAlarmMail(AlarmKind kind, std::string_view address,
                                  const AlarmSettings& settings) {
  AlarmComposition result;
  const auto refuse = [&result](std::string problem, const char* diagnostic) {
    result.problem = std::move(problem);
    result.diagnostic = diagnostic;
    return result;
  };
  constexpr const char* kNoHeader = "Failed to format message header";
  if (settings.server.empty()) return refuse("Put Server Name", "Invalid socket");
  CFastSmtp mail;
  mail.SetFromName(std::string(kFromName));
  mail.SetFromAddress(settings.from);
  if (!mail.SetRecipient(settings.to)) {
    return refuse("Put Receiver Name", "Please add a message recipient!");
  }
  if (std::string problem = AddressProblem("TO", settings.to); !problem.empty()) {
    return refuse(std::move(problem), kNoHeader);
  }
  if (settings.from.empty()) {
    return refuse(std::string(kFromProblem), "Please specifiy a sender email address");
  }
  if (std::string problem = AddressProblem("FROM", settings.from); !problem.empty()) {
    return refuse(std::move(problem), kNoHeader);
  }
  mail.SetSubjectText(settings.subject);
  AlarmText text = AlarmTextOf(kind, address);
  mail.SetBodyText(std::move(text.body));
  mail.SetBodyTail(std::move(text.tail));
  if (mail.Unsafe() || HoldsLineBreakOrNul(settings.server)) {
    return refuse("An alarm setting holds a line break: no mail was sent.", kNoHeader);
  }
  result.mail = std::move(mail);
  return result;
}

}  // namespace tarnex
