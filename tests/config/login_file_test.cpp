#include "config/login_file.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "config/config_fixture.h"
#include "support/other_user.h"

namespace tarnex {
namespace {

using testing::ConfigTest;
using testing::ReadBytes;
using testing::WriteBytes;

class LoginTest : public ConfigTest {};

// Only a missing file means a new installation. A file that lost its login, or one someone
// else could have written, must not let the defaults or half a stored login in.
TEST_F(LoginTest, OnlyAMissingFileMeansTheDefault) {
  COsprelNetworkManagerDoc doc;
  EXPECT_EQ(doc.ReadLogin(), (LoginCredentials{"Administrator", "5378"}));
  ASSERT_TRUE(doc.WriteLogin({"Operator", "pw"}));
  const std::string whole = ReadBytes(LoginFile());
  const std::string id = "m_docLoginID=" + ComplementBytes("Operator") + "\r\n";
  const std::string pw = "m_docLoginPW=" + ComplementBytes("pw") + "\r\n";
  std::string noise(64, '\0');
  for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<char>(i * 37 + 11);
  for (const std::string& broken :
       {std::string(), std::string("[LOGIN]\r\n"), whole.substr(0, 20), noise, "[LOGIN]\r\n" + id,
        "[LOGIN]\r\n" + id + "m_docLoginPW=\r\n", "[LOGIN]\r\n" + pw}) {
    SCOPED_TRACE(broken);
    WriteBytes(LoginFile(), broken);
    EXPECT_EQ(doc.ReadLogin(), std::nullopt);
  }
  EXPECT_FALSE(doc.WriteLogin({"", "pw"})) << "an empty ID would read back as a broken file";
  for (const mode_t mode : {0620u, 0666u}) {
    WriteBytes(LoginFile(), whole);
    ASSERT_EQ(::chmod(LoginFile().c_str(), mode), 0);
    EXPECT_EQ(doc.ReadLogin(), std::nullopt) << std::oct << mode;
    EXPECT_FALSE(doc.WriteLogin({"Operator", "pw"}));
  }
  ASSERT_EQ(::chmod(LoginFile().c_str(), 0600), 0);
  EXPECT_EQ(doc.ReadLogin(), (LoginCredentials{"Operator", "pw"}));
}

TEST_F(LoginTest, AFileOfAnotherUserIsRefused) {
  TARNEX_SKIP_UNLESS_ROOT();
  ASSERT_TRUE(WriteLoginFile(LoginFile(), {"Operator", "pw"}) && testing::GiveAway(LoginFile()));
  EXPECT_EQ(ReadLoginFile(LoginFile()), std::nullopt);
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

// The mail account shares the owner-only file: each write keeps the other's section.
TEST_F(LoginTest, TheMailAccountLivesBesideTheLogin) {
  COsprelNetworkManagerDoc doc;
  doc.m_docAlarmUser = "relay";
  doc.m_docAlarmPassword = "";
  ASSERT_TRUE(doc.WriteMailLogin());
  EXPECT_EQ(doc.ReadLogin(), (LoginCredentials{"Administrator", "5378"}));
  ASSERT_TRUE(doc.WriteLogin({"Operator", "pw"}));
  doc.m_docAlarmPassword = "mail pw";
  ASSERT_TRUE(doc.WriteMailLogin());
  EXPECT_EQ(doc.ReadLogin(), (LoginCredentials{"Operator", "pw"}));
  EXPECT_EQ(ReadMailLogin(LoginFile()), (MailLogin{"relay", "mail pw"}));
  EXPECT_EQ(ReadBytes(LoginFile()).find("relay"), std::string::npos);
  doc.m_docAlarmUser = std::string("bad") + '\xf5';  // its complement is a line feed
  EXPECT_FALSE(doc.WriteMailLogin());
  EXPECT_EQ(ReadMailLogin(LoginFile()), (MailLogin{"relay", "mail pw"}));
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

// Only a missing file means the defaults. Anything else in its place that is not a readable
// regular file must not let the defaults in, nor be replaced at close: a link to nothing
// would otherwise get a login file created where it points.
TEST_F(LoginTest, OnlyARegularFileOrNoEntryAtAllIsTrusted) {
  const std::string path = LoginFile();
  const std::string target = m_folder.File("moved-away.ini");
  const std::vector<std::pair<const char*, std::function<bool()>>> kinds = {
      {"folder", [&] { return ::mkdir(path.c_str(), 0700) == 0; }},
      {"fifo", [&] { return ::mkfifo(path.c_str(), 0600) == 0; }},
      {"socket",
       [&] {
         sockaddr_un address{};
         address.sun_family = AF_UNIX;
         path.copy(address.sun_path, sizeof address.sun_path - 1);
         const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
         const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
         ::close(fd);
         return bound;
       }},
      {"device", [&] { return ::symlink("/dev/null", path.c_str()) == 0; }},
      {"link to nothing", [&] { return ::symlink(target.c_str(), path.c_str()) == 0; }},
  };
  COsprelNetworkManagerDoc doc;
  for (const auto& [kind, make] : kinds) {
    SCOPED_TRACE(kind);
    ASSERT_TRUE(make());
    struct stat before {};
    ASSERT_EQ(::lstat(path.c_str(), &before), 0);
    EXPECT_EQ(doc.ReadLogin(), std::nullopt);
    EXPECT_FALSE(doc.WriteLogin({"Administrator", "5378"}));
    struct stat after {};
    ASSERT_EQ(::lstat(path.c_str(), &after), 0);
    EXPECT_EQ(after.st_mode, before.st_mode);
    EXPECT_EQ(::access(target.c_str(), F_OK), -1);
    if (::rmdir(path.c_str()) != 0) {
      ASSERT_EQ(::unlink(path.c_str()), 0);
    }
  }
  // A link to a login file is read through; a save replaces the link, never writing where it
  // points, since a link put there between the read and the save could point anywhere.
  ASSERT_TRUE(WriteLoginFile(target, {"Linked", "pw"}));
  const std::string before = ReadBytes(target);
  ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
  EXPECT_EQ(doc.ReadLogin(), (LoginCredentials{"Linked", "pw"}));
  EXPECT_TRUE(doc.WriteLogin({"Linked", "new"}));
  EXPECT_EQ(ReadBytes(target), before);
  struct stat replaced {};
  ASSERT_EQ(::lstat(path.c_str(), &replaced), 0);
  EXPECT_TRUE(S_ISREG(replaced.st_mode));
  EXPECT_EQ(ReadLoginFile(path), (LoginCredentials{"Linked", "new"}));
}

}  // namespace
}  // namespace tarnex
