#pragma once

#include <atomic>
#include <string>

#include "monitor/smtp/fast_smtp.h"

namespace tarnex {

// Why a mail did not go.
enum class SmtpFailure {
  kNone,
  kUnreachable,      // no server: none set, a name that does not resolve, or refused
  kRefused,          // the server refused a step with a 4xx or 5xx reply
  kNoAnswer,         // the server said nothing within the time
  kUntrusted,        // its certificate is not trusted
  kTlsFailed,        // the TLS handshake failed
  kStartTlsMissing,  // STARTTLS is required and the server does not offer it
  kClosed,           // the server closed the connection
  kStopped,          // the console closes
  kOther,
};

// How one mail went.
struct SmtpOutcome {
  bool sent = false;         // the server took the mail (250 after its DATA)
  bool talked = false;       // an SMTP dialogue took place (the server answered at all)
  bool unreachable = false;  // no server: none set, a name that does not resolve, or refused
  long code = 0;             // the last reply code
  std::string reply;         // the server's refusal, or its last reply line
  std::string error;         // why it failed, in libcurl's words
  SmtpFailure failure = SmtpFailure::kNone;
  std::string step;        // the command the refusal answered: "MAIL FROM", "end of DATA", ...
  long waitedSeconds = 0;  // with kNoAnswer: how long the server was given
  int socketError = 0;     // the system's error of a failed send or receive
};

// How the mail goes over the wire. kByAccount: with an account STARTTLS is required and the
// certificate verified, so a password never crosses in the clear or to a stranger; without
// one STARTTLS is used when offered, unverified (a venue's relay rarely has a certificate the
// system trusts, and an unverified channel still hides the mail from a passive listener), and
// the mail goes in the clear otherwise. The other values are the operator's choice over that.
enum class MailEncryption { kByAccount, kIfOffered, kRequired, kNever };

struct SmtpOptions {
  long connectTimeoutMs = 10'000;
  long wholeMailTimeoutMs = 30'000;
  // Set once the console stops: a mail in flight is given up at once.
  const std::atomic<bool>* stop = nullptr;
  // Another CA file than the system's (private relays, tests); empty for the system store.
  std::string caFile;
  MailEncryption encryption = MailEncryption::kByAccount;
};

// The account the server wants for AUTH. Empty user: the mail goes without AUTH.
struct SmtpLogin {
  std::string user;
  std::string password;
};

// The server setting as a URL: "host", "host:port" or "[v6]:port"; port 25 (the "mail"
// service) when none is given. Empty when the setting is no host.
std::string SmtpUrl(const std::string& server);

// Sends the mail through the server with libcurl, which does the SMTP dialogue: greeting,
// EHLO, multi-line replies, reply codes, dot-stuffing, STARTTLS and AUTH. Blocks the calling
// thread for at most the whole-mail time-out, and about a tenth of a second once `stop` is set,
// whatever step the mail is at (the name's resolving included).
SmtpOutcome SendMail(const CFastSmtp& mail, const std::string& server, const SmtpOptions& options,
                     const SmtpLogin& login = {});

// Whether the server can be reached at all (resolved, connected, greeted), for a mail that
// cannot be composed: an unreachable server is what the operator hears of first.
SmtpOutcome ProbeServer(const std::string& server, const SmtpOptions& options);

// Why the mail did not go, in a few words for a history line: "refused: 550 No such user",
// "no answer", "certificate not trusted".
std::string FailureWords(const SmtpOutcome& outcome);

}  // namespace tarnex
