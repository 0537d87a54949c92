#include "config/login_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <optional>
#include <string>

#include "config/config_fixture.h"

namespace tarnex {
namespace {

using testing::ConfigTest;
using testing::ReadBytes;
using testing::WriteBytes;

class LoginTest : public ConfigTest {};

TEST_F(LoginTest, DefaultsWhenMissingOrEmpty) {
  COsprelNetworkManagerDoc doc;
  EXPECT_EQ(doc.ReadLogin(), (LoginCredentials{"Administrator", "5378"}));
  WriteBytes(LoginFile(), "[LOGIN]\r\nm_docLoginID=\xbe\xbe\r\nm_docLoginPW=\r\n");
  EXPECT_EQ(doc.ReadLogin(), (LoginCredentials{"AA", "5378"}));
}

TEST_F(LoginTest, StoredComplementedOwnerOnlyAndRoundTrips) {
  COsprelNetworkManagerDoc doc;
  const LoginCredentials login{"Operator 7", "s3cret!"};
  ASSERT_TRUE(doc.WriteLogin(login));
  const std::string bytes = ReadBytes(LoginFile());
  EXPECT_EQ(bytes, "[LOGIN]\r\nm_docLoginID=" + ComplementBytes("Operator 7") +
                       "\r\nm_docLoginPW=" + ComplementBytes("s3cret!") + "\r\n");
  EXPECT_EQ(ComplementBytes("A"), "\xbe");
  struct stat info {};
  ASSERT_EQ(::stat(LoginFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(doc.ReadLogin(), login);
}

TEST_F(LoginTest, ExistingWideOpenFileIsTightened) {
  WriteBytes(LoginFile(), "[LOGIN]\r\n");
  ::chmod(LoginFile().c_str(), 0644);
  COsprelNetworkManagerDoc doc;
  ASSERT_TRUE(doc.WriteLogin({"a", "b"}));
  struct stat info {};
  ASSERT_EQ(::stat(LoginFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// Bytes whose complement a reader would trim, unquote or split at must still round-trip, or
// be refused without touching the file.
TEST_F(LoginTest, TextsWhoseStoredFormIsFragile) {
  COsprelNetworkManagerDoc doc;
  const std::string trimmed(1, '\xdf');  // stored as a blank
  const std::string quoted =
      "\xdd"
      "ab"
      "\xdd";  // stored inside a pair of quotes
  ASSERT_TRUE(doc.WriteLogin({trimmed + "x" + trimmed, quoted}));
  EXPECT_EQ(doc.ReadLogin(), (LoginCredentials{trimmed + "x" + trimmed, quoted}));

  const std::string before = ReadBytes(LoginFile());
  for (const char* unstorable : {"a\xf2z", "a\xf5z", "a\xffz"}) {
    EXPECT_FALSE(doc.WriteLogin({"id", unstorable}));
    EXPECT_EQ(ReadBytes(LoginFile()), before);
  }
}

// Only a missing file means the defaults. One that is there but cannot be read must not let
// the defaults in, nor be replaced at close.
TEST_F(LoginTest, AnUnreadableFileGivesNoCredentialsAndIsKept) {
  ASSERT_EQ(::mkdir(LoginFile().c_str(), 0700), 0);
  COsprelNetworkManagerDoc doc;
  EXPECT_EQ(doc.ReadLogin(), std::nullopt);
  EXPECT_FALSE(doc.WriteLogin({"Administrator", "5378"}));
  struct stat info {};
  ASSERT_EQ(::stat(LoginFile().c_str(), &info), 0);
  EXPECT_TRUE(S_ISDIR(info.st_mode));
  ::rmdir(LoginFile().c_str());
  ASSERT_EQ(::mkfifo(LoginFile().c_str(), 0600), 0);
  EXPECT_EQ(doc.ReadLogin(), std::nullopt);
}

}  // namespace
}  // namespace tarnex
