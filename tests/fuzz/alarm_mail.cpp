// The alarm mail from any alarm settings and display address: either the operator is told why
// there is no mail, or the message has no header line nobody wrote, ends every line in CR LF
// and names the recipient.
#include "fuzz_support.h"
#include "monitor/smtp/fast_smtp.h"

using namespace tarnex;

namespace {

void CheckLines(const std::string& message) {
  for (size_t i = 0; i < message.size(); ++i) {
    if (message[i] == '\r') TARNEX_FUZZ_CHECK(i + 1 < message.size() && message[i + 1] == '\n');
    if (message[i] == '\n') TARNEX_FUZZ_CHECK(i > 0 && message[i - 1] == '\r');
  }
  TARNEX_FUZZ_CHECK(message.size() >= 2 && message.compare(message.size() - 2, 2, "\r\n") == 0);
}

// The header names exactly the fields the console writes, one line each, and ends at the first
// blank line.
void CheckHeader(const std::string& message, const AlarmSettings& settings) {
  const size_t end = message.find("\r\n\r\n");
  TARNEX_FUZZ_CHECK(end != std::string::npos);
  const std::string_view header = std::string_view(message).substr(0, end + 2);
  TARNEX_FUZZ_CHECK(header.find('\0') == std::string_view::npos);
  static constexpr std::string_view kFields[] = {
      "Date: ", "From: ", "To: ", "Cc: ", "Subject: ", "MIME-Version: ", "Content-type: "};
  size_t lines = 0;
  for (size_t at = 0; at < header.size();) {
    const size_t stop = header.find("\r\n", at);
    const std::string_view line = header.substr(at, stop - at);
    bool known = false;
    for (const std::string_view field : kFields)
      known = known || line.substr(0, field.size()) == field;
    TARNEX_FUZZ_CHECK(known);
    if (line.substr(0, 9) == "Subject: ") {
      TARNEX_FUZZ_CHECK(fuzz::Printable(line));
    }
    ++lines;
    at = stop + 2;
  }
  TARNEX_FUZZ_CHECK(lines == (settings.subject.empty() ? 6u : 7u));
  TARNEX_FUZZ_CHECK(header.find("To: <" + settings.to + ">\r\n") != std::string_view::npos);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  fuzz::Input input(data, size);
  const auto kind = static_cast<AlarmKind>(input.Byte() % 5);
  const std::time_t now = static_cast<std::time_t>(input.Byte()) * 86'400 * 365;
  AlarmSettings settings;
  settings.subject = input.Field(96);
  settings.to = input.Field(48);
  settings.from = input.Field(48);
  settings.server = input.Field(48);
  const std::string_view address = input.Rest().substr(0, 64);

  const std::string subject = HeaderSubject(settings.subject);
  TARNEX_FUZZ_CHECK(fuzz::Printable(subject));

  const AlarmComposition composition = ComposeAlarmMail(kind, address, settings);
  TARNEX_FUZZ_CHECK(composition.mail.has_value() == composition.problem.empty());
  if (!composition.mail) return 0;
  const CFastSmtp& mail = *composition.mail;
  TARNEX_FUZZ_CHECK(!mail.Unsafe() && mail.Recipients().size() == 1);
  TARNEX_FUZZ_CHECK(mail.Recipients()[0].Address() == settings.to);
  TARNEX_FUZZ_CHECK(mail.FromAddress() == settings.from);
  // Whatever reaches the envelope is one bare mailbox each.
  TARNEX_FUZZ_CHECK(IsMailAddress(settings.to) && IsMailAddress(settings.from));

  const auto message = mail.Message(now);
  TARNEX_FUZZ_CHECK(message.has_value());
  CheckLines(*message);
  CheckHeader(*message, settings);
  return 0;
}
