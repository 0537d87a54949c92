#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace tarnex {

// Text crosses between the core and the window here, and only here. The core keeps every
// label, group name and credential as the bytes its files hold; files written by earlier
// installations hold them in an 8-bit (or double-byte) Windows code page, newer ones may hold
// UTF-8, and one file can hold both.
//
// Decoding bytes into window text:
//   - bytes that are valid UTF-8 (strictly: no overlong forms, no surrogates) are UTF-8;
//   - any other bytes are the legacy code page: Windows-1252 unless TARNEX_CODEPAGE names
//     another that the C library's iconv knows (CP1251, ISO-8859-2, CP949, ...). A name iconv
//     does not know, or a code page that does not keep ASCII as it is, gives Windows-1252 and
//     a trace.
//   - a byte the code page has no character for (0x81 in Windows-1252, half a double-byte
//     character) becomes the lone surrogate U+DC00 + byte, shown as an unknown character,
//     so that nothing is lost and encoding gives the byte back.
//
// Encoding window text (something the operator typed, or shown text written back) for the
// place that held `stored` before, the bytes the text is compared with or replaces:
//   1. text equal to what `stored` decodes to gives `stored` itself, byte for byte;
//   2. when `stored` is not valid UTF-8 (the place was written in the code page) and the
//      code page can say the text so that it decodes back to the same text, the code-page
//      bytes; text that would read back as UTF-8 in the code page (Windows-1252 "Ã©" is the
//      UTF-8 of "é") is therefore not given in the code page;
//   3. otherwise UTF-8, with any U+DC00..U+DCFF escape made U+FFFD.
// So the result always decodes to the text it came from (but for step 3's escapes), and the
// login compares bytes: a password typed as the window shows it matches the stored bytes,
// whichever way they were written. Pure ASCII and empty places count as UTF-8, so a new text
// for them is UTF-8; pass a sibling's stored bytes to follow a legacy file instead.
//
// Thread-safe: each call converts with its own iconv state.
class LegacyCodec {
 public:
  // `name` as iconv spells it; empty gives Windows-1252.
  explicit LegacyCodec(std::string_view name);
  // The code page TARNEX_CODEPAGE names, read now.
  static LegacyCodec FromEnvironment();

  // The iconv name in use after any fallback.
  const std::string& Name() const { return m_name; }

  QString Decode(std::string_view bytes) const;
  std::string Encode(const QString& text, std::string_view stored) const;

 private:
  QString DecodeLegacy(std::string_view bytes) const;
  bool EncodeLegacy(const QString& text, std::string& bytes) const;

  std::string m_name;
};

bool IsValidUtf8(std::string_view bytes);

// The window's codec, from TARNEX_CODEPAGE as it was at the first call.
const LegacyCodec& WindowCodec();
inline QString DecodeText(std::string_view bytes) {
  return WindowCodec().Decode(bytes);
}
inline std::string EncodeText(const QString& text, std::string_view stored) {
  return WindowCodec().Encode(text, stored);
}

}  // namespace tarnex
