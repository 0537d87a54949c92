#include "monitor/smtp/smtp_sender.h"

#include <curl/curl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

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

// The dialogue as it went: the step the client is at (the last command it sent), the server's
// last reply line, and the refusal that nothing positive followed: a refused EHLO that HELO
// mends is no refusal of the mail, and the polite QUIT after a refusal must not hide it.
// The connection's socket, as soon as it is made and until libcurl closes it.
class Line {
 public:
  void Opened(curl_socket_t socket) {
    std::lock_guard lock(m_mutex);
    m_socket = socket;
  }
  int Close(curl_socket_t socket) {
    std::lock_guard lock(m_mutex);
    if (m_socket == socket) m_socket = CURL_SOCKET_BAD;  // its number may soon be another's
    return ::close(socket);
  }
  // Any wait on the connection ends at once, libcurl's own blocking ones included (the reply to
  // the mail's end, the QUIT in the clean-up). Any thread.
  void HangUp() {
    std::lock_guard lock(m_mutex);
    if (m_socket != CURL_SOCKET_BAD) ::shutdown(m_socket, SHUT_RDWR);
  }

 private:
  std::mutex m_mutex;
  curl_socket_t m_socket = CURL_SOCKET_BAD;
};

struct Dialogue {
  Line line;
  std::string step = "greeting";
  std::string last;
  std::string refusal;
  std::string refusedStep;
};

// A line that is no command (the credentials of AUTH LOGIN, sent one a line) belongs to the
// step before it, and is never kept.
const char* StepOf(std::string_view command) {
  for (const char* name :
       {"MAIL FROM", "RCPT TO", "STARTTLS", "EHLO", "HELO", "AUTH", "DATA", "QUIT", "RSET"}) {
    if (command.starts_with(name)) return name;
  }
  return nullptr;
}

int Debug(CURL*, curl_infotype type, char* data, size_t size, void* user) {
  if (type != CURLINFO_HEADER_IN && type != CURLINFO_HEADER_OUT) return 0;
  std::string line(data, std::min<size_t>(size, 512));
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  if (line.empty()) return 0;
  auto* dialogue = static_cast<Dialogue*>(user);
  if (type == CURLINFO_HEADER_OUT) {
    if (const char* step = StepOf(line)) dialogue->step = step;
    // Nothing the server says to QUIT changes how the mail went, and libcurl would wait for its
    // answer inside a call no stop reaches: the QUIT is the last word.
    if (dialogue->step == "QUIT") dialogue->line.HangUp();
    return 0;
  }
  dialogue->last = line;
  if (line[0] == '4' || line[0] == '5') {
    dialogue->refusal = line;
    dialogue->refusedStep = dialogue->step;
  } else if (dialogue->step != "QUIT") {
    dialogue->refusal.clear();
  }
  // The reply after the message's text answers its end, not the DATA command.
  if (line.starts_with("354")) dialogue->step = "end of DATA";
  return 0;
}

int RecordSocket(void* user, curl_socket_t socket, curlsocktype) {
  static_cast<Dialogue*>(user)->line.Opened(socket);
  return CURL_SOCKOPT_OK;
}

int CloseSocket(void* user, curl_socket_t socket) {
  return static_cast<Dialogue*>(user)->line.Close(socket);
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
using Curl = std::unique_ptr<CURL, CurlDeleter>;

bool Printable(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7f || c == '/' || c == '@' || c == '?' || c == '#') return false;
  }
  return !text.empty();
}

MailEncryption EffectiveEncryption(const SmtpOptions& options, const SmtpLogin& login) {
  if (options.encryption != MailEncryption::kByAccount) return options.encryption;
  return login.user.empty() ? MailEncryption::kIfOffered : MailEncryption::kRequired;
}

void SetEncryption(CURL* c, const SmtpOptions& options, const SmtpLogin& login) {
  switch (EffectiveEncryption(options, login)) {
    case MailEncryption::kNever:
      curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_NONE));
      break;
    case MailEncryption::kIfOffered:
      curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
      curl_easy_setopt(c, CURLOPT_SSL_VERIFYPEER, 0L);
      curl_easy_setopt(c, CURLOPT_SSL_VERIFYHOST, 0L);
      break;
    case MailEncryption::kByAccount:
    case MailEncryption::kRequired:
      curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
      if (!options.caFile.empty()) curl_easy_setopt(c, CURLOPT_CAINFO, options.caFile.c_str());
      break;
  }
  if (!login.user.empty()) {
    curl_easy_setopt(c, CURLOPT_USERNAME, login.user.c_str());
    curl_easy_setopt(c, CURLOPT_PASSWORD, login.password.c_str());
  }
}

void SetCommon(CURL* c, const std::string& url, const SmtpOptions& options, Dialogue& dialogue) {
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
  // A close must not wait for the resolver thread of a name that does not answer: libcurl
  // leaves it behind instead of joining it.
  curl_easy_setopt(c, CURLOPT_QUICK_EXIT, 1L);
  curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, options.connectTimeoutMs);
  curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, options.wholeMailTimeoutMs);
  curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, &Debug);
  curl_easy_setopt(c, CURLOPT_DEBUGDATA, &dialogue);
  curl_easy_setopt(c, CURLOPT_SOCKOPTFUNCTION, &RecordSocket);
  curl_easy_setopt(c, CURLOPT_SOCKOPTDATA, &dialogue);
  curl_easy_setopt(c, CURLOPT_CLOSESOCKETFUNCTION, &CloseSocket);
  curl_easy_setopt(c, CURLOPT_CLOSESOCKETDATA, &dialogue);
  curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
  // The pause allowed for each of the server's replies; libcurl's own is two minutes.
  curl_easy_setopt(c, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                   std::max(1L, options.wholeMailTimeoutMs / 1000));
}

// How soon a mail sees the console's stop, whatever it waits for.
constexpr int kStopCheckMs = 50;

struct MultiDeleter {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};

bool Stopped(const std::atomic<bool>* stop) {
  return stop != nullptr && stop->load();
}

// The transfer, driven here rather than by curl_easy_perform, whose waits last up to a second
// before a progress callback could see the stop.
CURLcode Transfer(CURL* c, const std::atomic<bool>* stop, Line& line) {
  std::unique_ptr<CURLM, MultiDeleter> multi(curl_multi_init());
  if (!multi || curl_multi_add_handle(multi.get(), c) != CURLM_OK) return CURLE_OUT_OF_MEMORY;
  CURLcode result = CURLE_ABORTED_BY_CALLBACK;
  int running = 1;
  while (!Stopped(stop)) {
    if (curl_multi_perform(multi.get(), &running) != CURLM_OK) {
      result = CURLE_FAILED_INIT;
      break;
    }
    int left = 0;
    if (const CURLMsg* message = curl_multi_info_read(multi.get(), &left);
        message != nullptr && message->msg == CURLMSG_DONE) {
      result = message->data.result;
      break;
    }
    curl_multi_poll(multi.get(), nullptr, 0, kStopCheckMs, nullptr);
  }
  // The server gets no QUIT: libcurl would wait for its answer in the clean-up, where no stop
  // reaches, and a server that hangs never gives one. The mail it took is taken all the same.
  line.HangUp();
  curl_multi_remove_handle(multi.get(), c);
  return result;
}

SmtpFailure FailureOf(CURLcode result, bool connected, const Dialogue& dialogue) {
  switch (result) {
    case CURLE_OK:
      return SmtpFailure::kNone;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
      return SmtpFailure::kUnreachable;
    case CURLE_ABORTED_BY_CALLBACK:
      return SmtpFailure::kStopped;
    case CURLE_OPERATION_TIMEDOUT:
      return connected ? SmtpFailure::kNoAnswer : SmtpFailure::kUnreachable;
    case CURLE_PEER_FAILED_VERIFICATION:
      return SmtpFailure::kUntrusted;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
      return SmtpFailure::kTlsFailed;
    default:
      break;
  }
  if (!dialogue.refusal.empty()) return SmtpFailure::kRefused;
  if (result == CURLE_USE_SSL_FAILED) return SmtpFailure::kStartTlsMissing;
  if (result == CURLE_GOT_NOTHING || result == CURLE_RECV_ERROR || result == CURLE_SEND_ERROR) {
    return SmtpFailure::kClosed;
  }
  return SmtpFailure::kOther;
}

SmtpOutcome Perform(CURL* c, const SmtpOptions& options, Dialogue& dialogue) {
  SmtpOutcome outcome;
  // libcurl waits for some replies inside a call, seeing a stop only once a second: the stop
  // hangs up under it instead.
  std::jthread watch([&dialogue, stop = options.stop](std::stop_token done) {
    while (!done.stop_requested() && !Stopped(stop)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(kStopCheckMs));
    }
    if (Stopped(stop)) dialogue.line.HangUp();
  });
  CURLcode result = Transfer(c, options.stop, dialogue.line);
  watch.request_stop();
  watch.join();
  if (result != CURLE_OK && Stopped(options.stop)) result = CURLE_ABORTED_BY_CALLBACK;
  curl_off_t connectTime = 0;
  curl_easy_getinfo(c, CURLINFO_CONNECT_TIME_T, &connectTime);
  long osError = 0;
  curl_easy_getinfo(c, CURLINFO_OS_ERRNO, &osError);
  curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &outcome.code);
  outcome.talked = !dialogue.last.empty();
  outcome.failure = FailureOf(result, connectTime > 0 || outcome.talked, dialogue);
  outcome.sent = outcome.failure == SmtpFailure::kNone;
  outcome.unreachable = outcome.failure == SmtpFailure::kUnreachable;
  outcome.socketError = static_cast<int>(osError);
  outcome.reply = dialogue.refusal.empty() ? dialogue.last : dialogue.refusal;
  if (outcome.failure == SmtpFailure::kRefused) {
    outcome.step = dialogue.refusedStep;
    outcome.code = std::strtol(dialogue.refusal.c_str(), nullptr, 10);
  }
  if (outcome.failure == SmtpFailure::kNoAnswer) {
    outcome.waitedSeconds = std::max(1L, (options.wholeMailTimeoutMs + 999) / 1000);
  }
  if (!outcome.sent) outcome.error = curl_easy_strerror(result);
  return outcome;
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
    outcome.failure = url.empty() ? SmtpFailure::kUnreachable : SmtpFailure::kOther;
    return outcome;
  }
  GlobalInit();
  Curl curl(curl_easy_init());
  if (!curl) {
    outcome.error = "no mail library";
    outcome.failure = SmtpFailure::kOther;
    return outcome;
  }
  Upload upload{*message, 0};
  std::unique_ptr<curl_slist, ListDeleter> recipients;
  for (const CRecipient& recipient : mail.Recipients()) {
    recipients.reset(curl_slist_append(recipients.release(), recipient.Text().c_str()));
  }
  const std::string from = "<" + mail.FromAddress() + ">";
  Dialogue dialogue;
  CURL* c = curl.get();
  SetCommon(c, url, options, dialogue);
  curl_easy_setopt(c, CURLOPT_MAIL_FROM, from.c_str());
  curl_easy_setopt(c, CURLOPT_MAIL_RCPT, recipients.get());
  curl_easy_setopt(c, CURLOPT_UPLOAD, 1L);
  curl_easy_setopt(c, CURLOPT_READFUNCTION, &ReadUpload);
  curl_easy_setopt(c, CURLOPT_READDATA, &upload);
  SetEncryption(c, options, login);
  return Perform(c, options, dialogue);
}

SmtpOutcome ProbeServer(const std::string& server, const SmtpOptions& options) {
  SmtpOutcome outcome;
  const std::string url = SmtpUrl(server);
  GlobalInit();
  Curl curl(url.empty() ? nullptr : curl_easy_init());
  if (!curl) {
    outcome.unreachable = true;
    outcome.failure = SmtpFailure::kUnreachable;
    return outcome;
  }
  Dialogue dialogue;
  SetCommon(curl.get(), url, options, dialogue);
  curl_easy_setopt(curl.get(), CURLOPT_CONNECT_ONLY, 1L);
  return Perform(curl.get(), options, dialogue);
}

std::string FailureWords(const SmtpOutcome& outcome) {
  switch (outcome.failure) {
    case SmtpFailure::kNone:
      return "sent";
    case SmtpFailure::kUnreachable:
      return "server not reached";
    case SmtpFailure::kRefused:
      return "refused: " + outcome.reply;
    case SmtpFailure::kNoAnswer:
      return "no answer";
    case SmtpFailure::kUntrusted:
      return "certificate not trusted";
    case SmtpFailure::kTlsFailed:
      return "TLS failed";
    case SmtpFailure::kStartTlsMissing:
      return "STARTTLS not offered";
    case SmtpFailure::kClosed:
      return "connection closed";
    case SmtpFailure::kStopped:
      return "console closed";
    case SmtpFailure::kOther:
      break;
  }
  return outcome.error;
}

}  // namespace tarnex
