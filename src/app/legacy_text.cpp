#include "app/legacy_text.h"

#include <errno.h>
#include <iconv.h>

#include <array>
#include <cstdlib>

#include "platform/trace.h"

namespace tarnex {
namespace {

constexpr const char* kFallbackCodePage = "CP1252";
constexpr char16_t kEscapeBase = 0xDC00;

// One iconv conversion state, closed with the object.
class Converter {
 public:
  Converter(const std::string& to, const std::string& from)
      : m_cd(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (Ok()) iconv_close(m_cd);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  bool Ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }

  // Converts `in` into `out` as far as it goes; false with `in` left at the first sequence
  // that has no counterpart (or is cut off at the end).
  bool Run(std::string_view& in, std::string& out) {
    while (!in.empty()) {
      std::array<char, 256> chunk;
      char* source = const_cast<char*>(in.data());  // iconv reads its input only
      size_t sourceLeft = in.size();
      char* target = chunk.data();
      size_t targetLeft = chunk.size();
      const size_t done = iconv(m_cd, &source, &sourceLeft, &target, &targetLeft);
      const int error = errno;
      out.append(chunk.data(), static_cast<size_t>(target - chunk.data()));
      const size_t consumed = in.size() - sourceLeft;
      in.remove_prefix(consumed);
      if (done != static_cast<size_t>(-1)) continue;
      const bool progressed = consumed > 0 || target != chunk.data();
      if (error != E2BIG || !progressed) return false;
    }
    return true;
  }

  // Writes what returns a stateful encoding to its initial state.
  void Finish(std::string& out) {
    std::array<char, 32> chunk;
    char* target = chunk.data();
    size_t targetLeft = chunk.size();
    iconv(m_cd, nullptr, nullptr, &target, &targetLeft);
    out.append(chunk.data(), static_cast<size_t>(target - chunk.data()));
  }

  void Reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

 private:
  iconv_t m_cd;
};

// A code page the window can use both ways that leaves ASCII as it is, so that the
// addresses, brackets and digits the core reads in a label mean what they say.
bool KeepsAscii(const std::string& name) {
  Converter decoder("UTF-8", name);
  Converter encoder(name, "UTF-8");
  if (!decoder.Ok() || !encoder.Ok()) return false;
  std::string ascii;
  for (int c = 1; c < 0x80; ++c) ascii += static_cast<char>(c);
  std::string_view in = ascii;
  std::string out;
  if (!encoder.Run(in, out)) return false;
  encoder.Finish(out);
  return out == ascii;
}

// Valid second bytes after `lead` and the sequence length (Unicode Table 3-7); 0 for a byte
// that cannot lead.
struct Utf8Lead {
  size_t length;
  unsigned char low, high;
};
Utf8Lead LeadOf(unsigned char lead) {
  if (lead >= 0xC2 && lead <= 0xDF) return {2, 0x80, 0xBF};
  if (lead == 0xE0) return {3, 0xA0, 0xBF};
  if (lead == 0xED) return {3, 0x80, 0x9F};  // no surrogates
  if (lead >= 0xE1 && lead <= 0xEF) return {3, 0x80, 0xBF};
  if (lead == 0xF0) return {4, 0x90, 0xBF};
  if (lead >= 0xF1 && lead <= 0xF3) return {4, 0x80, 0xBF};
  if (lead == 0xF4) return {4, 0x80, 0x8F};  // nothing above U+10FFFF
  return {0, 0, 0};
}

bool IsContinuation(char byte) {
  return (static_cast<unsigned char>(byte) & 0xC0) == 0x80;
}

// A lone low surrogate in the escape range: a byte that had no character.
bool IsEscapeAt(const QString& text, qsizetype i) {
  const char16_t unit = text[i].unicode();
  if (unit < kEscapeBase || unit > kEscapeBase + 0xFF) return false;
  return i == 0 || !text[i - 1].isHighSurrogate();
}

std::string Utf8Of(QString text) {
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (IsEscapeAt(text, i)) text[i] = QChar::ReplacementCharacter;
  }
  const QByteArray utf8 = text.toUtf8();
  return std::string(utf8.data(), static_cast<size_t>(utf8.size()));
}

}  // namespace

bool IsValidUtf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    const Utf8Lead form = LeadOf(lead);
    if (form.length == 0 || bytes.size() - i < form.length) return false;
    const auto second = static_cast<unsigned char>(bytes[i + 1]);
    if (second < form.low || second > form.high) return false;
    for (size_t k = 2; k < form.length; ++k) {
      if (!IsContinuation(bytes[i + k])) return false;
    }
    i += form.length;
  }
  return true;
}

LegacyCodec::LegacyCodec(std::string_view name)
    : m_name(name.empty() ? kFallbackCodePage : std::string(name)) {
  if (KeepsAscii(m_name)) return;
  Trace("code page \"%s\" unknown or not ASCII-based; using %s", m_name.c_str(), kFallbackCodePage);
  m_name = kFallbackCodePage;
}

LegacyCodec LegacyCodec::FromEnvironment() {
  const char* name = std::getenv("TARNEX_CODEPAGE");
  return LegacyCodec(name == nullptr ? "" : name);
}

QString LegacyCodec::Decode(std::string_view bytes) const {
  if (IsValidUtf8(bytes))
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
  return DecodeLegacy(bytes);
}

QString LegacyCodec::DecodeLegacy(std::string_view bytes) const {
  Converter decoder("UTF-8", m_name);
  QString text;
  std::string utf8;
  while (!bytes.empty() && !(decoder.Ok() && decoder.Run(bytes, utf8))) {
    text += QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    utf8.clear();
    text += QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes.front())));
    bytes.remove_prefix(1);
    if (decoder.Ok()) decoder.Reset();
  }
  if (decoder.Ok()) decoder.Finish(utf8);
  return text + QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string LegacyCodec::Encode(const QString& text, std::string_view stored) const {
  if (Decode(stored) == text) return std::string(stored);
  std::string legacy;
  if (!IsValidUtf8(stored) && EncodeLegacy(text, legacy) && Decode(legacy) == text) return legacy;
  return Utf8Of(text);
}

bool LegacyCodec::EncodeLegacy(const QString& text, std::string& bytes) const {
  Converter encoder(m_name, "UTF-8");
  if (!encoder.Ok()) return false;
  qsizetype runStart = 0;
  auto convertRun = [&](qsizetype end) {
    const QByteArray utf8 = text.sliced(runStart, end - runStart).toUtf8();
    std::string_view in(utf8.data(), static_cast<size_t>(utf8.size()));
    return encoder.Run(in, bytes);
  };
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (!IsEscapeAt(text, i)) continue;
    if (!convertRun(i)) return false;
    encoder.Finish(bytes);
    bytes += static_cast<char>(text[i].unicode() - kEscapeBase);
    runStart = i + 1;
  }
  if (!convertRun(text.size())) return false;
  encoder.Finish(bytes);
  return true;
}

const LegacyCodec& WindowCodec() {
  static const LegacyCodec codec = LegacyCodec::FromEnvironment();
  return codec;
}

}  // namespace tarnex
