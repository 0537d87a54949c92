// The mail server setting as libcurl gets it: any setting gives either nothing or one SMTP
// URL of a host and a port, with nothing that would turn into a path, a login or a query.
#include "fuzz_support.h"
#include "monitor/smtp/smtp_sender.h"

using namespace tarnex;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > fuzz::kMaxInput) return 0;
  const std::string server(reinterpret_cast<const char*>(data), size);
  const std::string url = SmtpUrl(server);
  if (url.empty()) return 0;

  constexpr std::string_view kScheme = "smtp://";
  TARNEX_FUZZ_CHECK(url.compare(0, kScheme.size(), kScheme) == 0);
  const std::string_view rest = std::string_view(url).substr(kScheme.size());
  // Bytes above ASCII may name an international host; control bytes and blanks never.
  for (const char c : rest) {
    TARNEX_FUZZ_CHECK(static_cast<unsigned char>(c) > 0x20 && c != 0x7f);
  }
  TARNEX_FUZZ_CHECK(rest.find_first_of(" /@?#") == std::string_view::npos);
  const size_t colon = rest.rfind(':');
  TARNEX_FUZZ_CHECK(colon != std::string_view::npos && colon > 0);
  const std::string_view host = rest.substr(0, colon);
  const std::string_view port = rest.substr(colon + 1);
  TARNEX_FUZZ_CHECK(!port.empty() && port.size() <= 5);
  TARNEX_FUZZ_CHECK(port.find_first_not_of("0123456789") == std::string_view::npos);
  // A bracketed host is one IPv6 literal; an unbracketed one holds no colon.
  if (host.front() == '[') {
    TARNEX_FUZZ_CHECK(host.back() == ']' && host.find(']') == host.size() - 1);
  } else {
    TARNEX_FUZZ_CHECK(host.find(':') == std::string_view::npos);
  }
  // What the setting named is what the URL names.
  TARNEX_FUZZ_CHECK(server.find(std::string(host)) == 0);
  return 0;
}
