#include "monitor/smtp/smtp_sender.h"

#include <curl/curl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>

namespace tarnex {
namespace {

struct Upload {
  std::string data;
  size_t sent = 0;
};

size_t ReadUpload(char* buffer, size_t size, size_t count, void* user) {
  auto* upload = static_cast<Upload*>(user);
  const size_t room = size * count;
  const size_t left = upload->data.size() - upload->sent;
  const size_t n = std::min(room, left);
  std::memcpy(buffer, upload->data.data() + upload->sent, n);
  upload->sent += n;
  return n;
}

int Progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* stop = static_cast<const std::atomic<bool>*>(user);
  return stop != nullptr && stop->load() ? 1 : 0;  // non-zero aborts the transfer
}

// What the server said: its last reply line, and the last one that refused something ("550 No
// such user"), which the polite QUIT after it must not hide.
struct Replies {
  std::string last;
  std::string refusal;
};

int Debug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  if (type != CURLINFO_HEADER_IN) return 0;
  std::string line(data, size);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.empty()) return 0;
  auto* replies = static_cast<Replies*>(user);
  replies->last = line.substr(0, 512);
  if (line[0] == '4' || line[0] == '5') replies->refusal = replies->last;
  return 0;
}

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct ListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

bool Printable(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7f || c == '/' || c == '@' || c == '?' || c == '#') return false;
  }
  return !text.empty();
}

}  // namespace

std::string SmtpUrl(const std::string& server) {
  std::string host = server;
  std::string port = "25";
  if (!host.empty() && host.front() == '[') {
    const size_t close = host.find(']');
    if (close == std::string::npos) return {};
    if (close + 1 < host.size()) {
      if (host[close + 1] != ':') return {};
      port = host.substr(close + 2);
    }
    host = host.substr(0, close + 1);
  } else if (const size_t colon = host.find(':'); colon != std::string::npos) {
    port = host.substr(colon + 1);
    host = host.substr(0, colon);
  }
  if (!Printable(host) || port.empty() || port.size() > 5 ||
      port.find_first_not_of("0123456789") != std::string::npos) {
    return {};
  }
  return "smtp://" + host + ":" + port;
}

SmtpOutcome SendMail(const CFastSmtp& mail, const std::string& server, const SmtpOptions& options,
                     const SmtpLogin& login) {
  SmtpOutcome outcome;
  const std::string url = SmtpUrl(server);
  const auto message = mail.Message(std::time(nullptr));
  if (url.empty() || !message || mail.Recipients().empty()) {
    outcome.error = url.empty() ? "no server" : "no mail to send";
    outcome.unreachable = url.empty();
    return outcome;
  }
  GlobalInit();
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) {
    outcome.error = "no mail library";
    return outcome;
  }
  Upload upload{*message, 0};
  std::unique_ptr<curl_slist, ListDeleter> recipients;
  for (const CRecipient& recipient : mail.Recipients()) {
    recipients.reset(curl_slist_append(recipients.release(), recipient.Text().c_str()));
  }
  const std::string from = "<" + mail.FromAddress() + ">";
  Replies replies;
  CURL* c = curl.get();
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.c_str());
  curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get());
  curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(c, CURLOPT_READFUNCTION, &ReadUpload);
  curl_easy_setopt(c, CURLOPT_READDATA, &upload);
  if (login.user.empty()) {
    curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
  } else {
    curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    curl_easy_setopt(c, CURLOPT_USERNAME, login.user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, login.password.c_str());
  }
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, options.wholeMailTimeoutMs);
  curl_easy_setopt(c, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(c, CURLOPT_XFERINFOFUNCTION, &Progress);
  curl_easy_setopt(c, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(options.stop));
  curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, &Debug);
  curl_easy_setopt(c, CURLOPT_DEBUGDATA, &replies);
  curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
  if (!options.caFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, options.caFile.c_str());
  // The pause allowed for each of the server's replies; libcurl's own is two minutes, and it
  // also bounds the polite QUIT at the end, which no other time-out covers.
  curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                   std::max(1L, options.wholeMailTimeoutMs / 1000));
  const CURLcode result = curl_easy_perform(c);
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &outcome.code);
  outcome.talked = !replies.last.empty();
  outcome.sent = result == CURLE_OK && replies.refusal.empty();
  outcome.reply = replies.refusal.empty() ? replies.last : replies.refusal;
  if (!replies.refusal.empty()) outcome.code = std::strtol(replies.refusal.c_str(), nullptr, 10);
  if (!outcome.sent) outcome.error = curl_easy_strerror(result);
  outcome.unreachable = result == CURLE_COULDNT_RESOLVE_HOST || result == CURLE_COULDNT_CONNECT;
  if (result != CURLE_OK) {
    // A server that failed the mail gets no QUIT: the clean-up would wait for its answer, and
    // a hung server never gives one.
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(c, CURLINFO_ACTIVESOCKET, &socket) == CURLE_OK &&
        socket != CURL_SOCKET_BAD) {
      ::shutdown(socket, SHUT_RDWR);
    }
  }
  return outcome;
}

}  // namespace tarnex
