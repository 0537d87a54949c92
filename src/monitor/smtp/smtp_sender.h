#pragma once

#include <atomic>
#include <string>

#include "monitor/smtp/fast_smtp.h"

namespace tarnex {

// How one mail went.
struct SmtpOutcome {
  bool sent = false;         // the server took the mail
  bool talked = false;       // an SMTP dialogue took place (the server answered at all)
  bool unreachable = false;  // no server: none set, a name that does not resolve, or refused
  long code = 0;             // the last reply code
  std::string reply;         // the server's last reply line, when it sent one
  std::string error;         // why it failed, in words
};

struct SmtpOptions {
  long connectTimeoutMs = 10'000;
  long wholeMailTimeoutMs = 30'000;
  // Set once the console stops: a mail in flight is given up at once.
  const std::atomic<bool>* stop = nullptr;
  // Another CA file than the system's (private relays, tests); empty for the system store.
  std::string caFile;
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
// EHLO, multi-line replies, reply codes, dot-stuffing and STARTTLS when the server offers it.
// With a login, STARTTLS is required and AUTH follows it: a password never crosses the
// network in the clear. Blocks the calling thread for at most the whole-mail time-out.
SmtpOutcome SendMail(const CFastSmtp& mail, const std::string& server, const SmtpOptions& options,
                     const SmtpLogin& login = {});

}  // namespace tarnex
