#include "app/legacy_text.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <vector>

#include "support/trace_recorder.h"

inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace tarnex {
namespace {

// Stored bytes as an older installation wrote them, and the text the window must show.
struct Stored {
  const char* bytes;
  const char* shown;  // UTF-8 source text
};

void ExpectRoundTrip(const LegacyCodec& codec, const Stored& stored) {
  const QString shown = codec.Decode(stored.bytes);
  EXPECT_EQ(shown, QString::fromUtf8(stored.shown)) << stored.bytes;
  EXPECT_EQ(codec.Encode(shown, stored.bytes), stored.bytes);
}

TEST(LegacyText, Windows1252LabelsShowAndGoBackByteForByte) {
  const LegacyCodec codec("");
  EXPECT_EQ(codec.Name(), "CP1252");
  for (const Stored& label :
       {Stored{"[Caf\xE9 M\xFCller \x80]127.0.0.5", "[Café Müller €]127.0.0.5"},
        Stored{"Salle d'\xE9t\xE9", "Salle d'été"}}) {
    ExpectRoundTrip(codec, label);
  }
  // An edited name in a place written in the code page stays in the code page.
  EXPECT_EQ(codec.Encode(QString::fromUtf8("[Café 2 €]127.0.0.5"), "[Caf\xE9]127.0.0.5"),
            "[Caf\xE9 2 \x80]127.0.0.5");
}

TEST(LegacyText, TheCodePageComesFromTheEnvironment) {
  ::setenv("TARNEX_CODEPAGE", "CP1251", 1);
  const LegacyCodec cyrillic = LegacyCodec::FromEnvironment();
  ::unsetenv("TARNEX_CODEPAGE");
  EXPECT_EQ(cyrillic.Name(), "CP1251");
  ExpectRoundTrip(cyrillic, {"[\xC7\xE0\xEB 1]127.0.0.7", "[Зал 1]127.0.0.7"});
  ExpectRoundTrip(LegacyCodec("CP949"), {"\xC7\xD1\xB1\xDB", "한글"});
  // A character with two codes keeps the one it was stored with.
  ExpectRoundTrip(LegacyCodec("CP932"), {"\xED\x40", "纊"});

  testing::TraceRecorder traces;
  for (const char* unusable : {"NO-SUCH-PAGE", "UTF-16"}) {
    ::setenv("TARNEX_CODEPAGE", unusable, 1);
    EXPECT_EQ(LegacyCodec::FromEnvironment().Name(), "CP1252") << unusable;
  }
  ::unsetenv("TARNEX_CODEPAGE");
  EXPECT_TRUE(
      traces.Contains("code page \"NO-SUCH-PAGE\" unknown or not ASCII-based; using CP1252"));
}

TEST(LegacyText, Utf8StaysUtf8) {
  const LegacyCodec codec("CP1252");
  ExpectRoundTrip(codec, {"[Caf\xC3\xA9]127.0.0.5", "[Café]127.0.0.5"});
  const QString edited = QString::fromUtf8("Müller €");
  EXPECT_EQ(codec.Encode(edited, "[Caf\xC3\xA9]127.0.0.5"), "M\xC3\xBCller \xE2\x82\xAC");
  // Without code-page evidence (ASCII, empty), and for what the code page cannot say or
  // would read back as UTF-8, a new text is UTF-8.
  EXPECT_EQ(codec.Encode(edited, "5378"), "M\xC3\xBCller \xE2\x82\xAC");
  EXPECT_EQ(codec.Encode(edited, ""), "M\xC3\xBCller \xE2\x82\xAC");
  EXPECT_EQ(codec.Encode(QString::fromUtf8("Зал"), "\xE9"), "\xD0\x97\xD0\xB0\xD0\xBB");
  EXPECT_EQ(codec.Encode(QString::fromUtf8("Ã©"), "\xE9"), "\xC3\x83\xC2\xA9");
}

// Bytes no code page explains, cut-off sequences and malformed UTF-8 show as something and
// come back unchanged, whether or not the place they are written to is the one they came from.
TEST(LegacyText, AnyBytesDecodeAndComeBack) {
  const std::vector<std::string> prefixes = {"", "\xC3", "\xE2\x82", "\xB0", "x\xF4\x90"};
  for (const char* name : {"CP1252", "CP949"}) {
    const LegacyCodec codec(name);
    for (const std::string& prefix : prefixes) {
      for (int byte = 0; byte < 256; ++byte) {
        const std::string bytes = prefix + static_cast<char>(byte) + "\xA9";
        const QString shown = codec.Decode(bytes);
        ASSERT_EQ(codec.Encode(shown, bytes), bytes) << name << " " << byte;
        if (IsValidUtf8(bytes)) continue;
        ASSERT_EQ(codec.Encode(shown, "\x81"), bytes) << name << " " << byte;
      }
    }
  }
}

TEST(LegacyText, Utf8ValidityIsStrict) {
  for (const char* valid :
       {"", "abc", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF"}) {
    EXPECT_TRUE(IsValidUtf8(valid)) << valid;
  }
  for (const char* invalid :
       {"\xC3", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
        "\xF8\x88\x80\x80\x80", "\x80", "\xE2\x82", "\xE2(\xAC"}) {
    EXPECT_FALSE(IsValidUtf8(invalid)) << invalid;
  }
}

}  // namespace
}  // namespace tarnex
