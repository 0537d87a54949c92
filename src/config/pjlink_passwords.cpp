#include "config/pjlink_passwords.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/atomic_file.h"

namespace tarnex {
namespace {

// Every line at its longest, with a CR LF ending: anything larger was not written here.
constexpr size_t kMaxFileBytes =
    kMaxPjlinkPasswordLines * (kMaxPjlinkAddressChars + kMaxPjlinkPasswordChars + 3);

bool Printable(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return c >= 0x20 && c <= 0x7e; });
}

bool ValidAddress(std::string_view address) {
  return !address.empty() && address.size() <= kMaxPjlinkAddressChars && Printable(address);
}

bool ValidPassword(std::string_view password) {
  return password.size() <= kMaxPjlinkPasswordChars && Printable(password);
}

// Why a file in the path's place is not trusted; empty when `fd` may be read.
std::string Refusal(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return std::strerror(errno);
  if (!S_ISREG(info.st_mode)) return "not a regular file";
  if (info.st_uid != ::geteuid()) return "owned by another user";
  if ((info.st_mode & 077) != 0) return "open to its group or others";
  if (static_cast<unsigned long long>(info.st_size) > kMaxFileBytes) return "too large";
  return {};
}

// The whole file, or the reason it is not read. O_NOFOLLOW refuses a link in the file's place,
// O_NONBLOCK keeps a FIFO from hanging the console before fstat turns it away.
std::string ReadPrivateText(const std::string& path, std::string& text) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT) return {};
    return errno == ELOOP ? "a symbolic link" : std::strerror(errno);
  }
  std::string refusal = Refusal(fd);
  char buffer[4096];
  while (refusal.empty()) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) refusal = std::strerror(errno);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
    if (text.size() > kMaxFileBytes) refusal = "too large";  // it grew while being read
  }
  ::close(fd);
  if (!refusal.empty()) text.clear();
  return refusal;
}

PjlinkPasswords ParsePasswords(std::string_view text, std::string& problem) {
  PjlinkPasswords passwords;
  size_t lineNumber = 0;
  while (!text.empty()) {
    const size_t end = std::min(text.find('\n'), text.size());
    std::string_view line = text.substr(0, end);
    text.remove_prefix(std::min(end + 1, text.size()));
    ++lineNumber;
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (line.empty()) continue;
    if (passwords.size() == kMaxPjlinkPasswordLines) {
      problem = "more than " + std::to_string(kMaxPjlinkPasswordLines) + " passwords";
      break;
    }
    const size_t tab = line.find('\t');
    const std::string_view address = line.substr(0, tab);
    const std::string_view password =
        tab == std::string_view::npos ? std::string_view() : line.substr(tab + 1);
    if (tab == std::string_view::npos || !ValidAddress(address) || !ValidPassword(password)) {
      if (problem.empty()) problem = "line " + std::to_string(lineNumber) + " is not valid";
      continue;
    }
    passwords.emplace(address, password);
  }
  return passwords;
}

}  // namespace

PjlinkPasswords ReadPjlinkPasswords(const std::string& path, std::string* problem) {
  std::string text;
  std::string why = ReadPrivateText(path, text);
  PjlinkPasswords passwords;
  if (why.empty()) passwords = ParsePasswords(text, why);
  if (problem != nullptr) *problem = why;
  return passwords;
}

bool WritePjlinkPasswords(const std::string& path, const PjlinkPasswords& passwords) {
  if (passwords.size() > kMaxPjlinkPasswordLines) return false;
  std::string content;
  for (const auto& [address, password] : passwords) {
    if (!ValidAddress(address) || !ValidPassword(password)) return false;
    content += address + '\t' + password + '\n';
  }
  return WriteFileAtomically(path, content, 0600, AtomicLinks::kReplace);
}

}  // namespace tarnex
