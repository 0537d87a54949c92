#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/scratch_folder.h"
#include "support/child_process.h"

namespace tarnex::testing {

// A real SMTP server on 127.0.0.1 (aiosmtpd, through tests/support/smtp_server.py), storing
// each mail it takes in a file of its own. With `tls` it offers STARTTLS with a certificate for
// 127.0.0.1 made for this run, and refuses mail before it; with `auth` ("user:password") it
// requires AUTH with that one account.
struct MailServerOptions {
  bool tls = false;
  std::string auth;
};

class MailServer {
 public:
  using Options = MailServerOptions;

  explicit MailServer(Options options = {})
      : m_process("/usr/bin/python3", Arguments(options), {}) {
    const std::string ready = m_process.FirstLine(std::chrono::seconds(20));
    if (ready.rfind("ready ", 0) == 0) {
      m_address = "127.0.0.1:" + ready.substr(6, ready.find('\n') - 6);
    }
  }

  // "127.0.0.1:PORT"; empty when the server did not start.
  const std::string& Address() const { return m_address; }
  // The certificate to trust, with `tls`.
  std::string CaFile() const { return m_folder.Path() + "/cert.pem"; }
  // The n-th mail taken (from 1), as it came; empty when there is none.
  std::string Mail(int n) const {
    char name[32];
    std::snprintf(name, sizeof name, "mail-%04d.eml", n);
    std::ifstream in(std::filesystem::path(m_folder.Path()) / name, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  std::vector<std::string> Arguments(const Options& options) {
    std::vector<std::string> args{SMTP_SERVER_SCRIPT, m_folder.Path()};
    if (options.tls) {
      const std::string folder = m_folder.Path();
      const std::string make =
          "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1"
          " -addext subjectAltName=IP:127.0.0.1 -keyout '" +
          folder + "/key.pem' -out '" + folder + "/cert.pem' >/dev/null 2>&1";
      if (std::system(make.c_str()) == 0) {
        args.insert(args.end(), {"--tls", folder + "/cert.pem", folder + "/key.pem"});
      }
    }
    if (!options.auth.empty()) args.insert(args.end(), {"--auth", options.auth});
    return args;
  }

  ScratchFolder m_folder;  // first: the server writes into it
  ChildProcess m_process;
  std::string m_address;
};

}  // namespace tarnex::testing
