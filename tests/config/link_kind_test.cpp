#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "config/config_fixture.h"
#include "config/network_manager_doc.h"

namespace tarnex {
namespace {

using testing::ConfigTest;
using testing::ReadBytes;
using testing::WriteBytes;

constexpr char kFleet[] =
    "[Communication]\r\nm_docCommunicationTrue=1\r\nm_docCommunicationSelect=1\r\n"
    "[VALUE]\r\nm_docSocketNumber=3\r\n[SINGLE]\r\n0=10.0.0.2\r\n1=10.0.0.3\r\n2=10.0.0.4\r\n"
    "[TREENAME]\r\n0=[Hall]10.0.0.2\r\n";

std::vector<LinkKind> Kinds(const COsprelNetworkManagerDoc& doc) {
  std::vector<LinkKind> kinds;
  for (int i = 0; i < doc.m_docSocketNumber; ++i)
    kinds.push_back(doc.m_docDisplays[size_t(i)].m_linkKind);
  return kinds;
}

using enum LinkKind;

TEST_F(ConfigTest, NativeKindsChangeNoTableAndNoByte) {
  WriteBytes(NetworkFile(), kFleet);
  COsprelNetworkManagerDoc plain;
  plain.OnNewDocument();
  ASSERT_TRUE(plain.WriteNetworkConfig());
  const std::string saved = ReadBytes(NetworkFile());
  EXPECT_EQ(saved.find("LINKKIND"), std::string::npos);
  COsprelNetworkManagerDoc again;
  again.OnNewDocument();
  ASSERT_TRUE(again.WriteNetworkConfig());
  EXPECT_EQ(ReadBytes(NetworkFile()), saved) << "an all-native fleet gains no section";
  EXPECT_EQ(::access(PjlinkPasswordsFile().c_str(), F_OK), -1);

  // Native, foreign and overlong values alike read as native.
  WriteBytes(NetworkFile(),
             saved + "[LINKKIND]\r\n0=NATIVE 10.0.0.2\r\n1=pjlink 10.0.0.3\r\n2=PJLINK 10.0.0.4" +
                 std::string(60, ' ') + "x\r\n3=PJLINK \r\n");
  COsprelNetworkManagerDoc marked;
  marked.OnNewDocument();
  EXPECT_EQ(marked.m_docDisplays, plain.m_docDisplays);
  EXPECT_EQ(marked.m_docSchedules, plain.m_docSchedules);
  EXPECT_EQ(marked.m_docSocketNumber, plain.m_docSocketNumber);
}

// An older writer closes up SINGLE on a delete and leaves LINKKIND as it was: 10.0.0.1 has
// left, and each kind must still find its own display, the last one a key past the count.
TEST_F(ConfigTest, KindsFollowTheirAddressesThroughSavesAndDeletes) {
  WriteBytes(NetworkFile(), std::string(kFleet) +
                                "[LINKKIND]\r\n0=PJLINK 10.0.0.1\r\n"
                                "1=NATIVE 10.0.0.2\r\n2=PJLINK 10.0.0.3\r\n3=PJLINK 10.0.0.4\r\n");
  COsprelNetworkManagerDoc doc;
  doc.OnNewDocument();
  EXPECT_EQ(Kinds(doc), (std::vector{kNative, kPjlink, kPjlink}));

  doc.EraseDisplayRow(0);
  ASSERT_TRUE(doc.WriteNetworkConfig());
  COsprelNetworkManagerDoc back;
  back.OnNewDocument();
  EXPECT_EQ(Kinds(back), (std::vector{kPjlink, kPjlink}));
  EXPECT_EQ(back.m_docDisplays[1].m_address, "10.0.0.4");
  const std::string saved = ReadBytes(NetworkFile());
  EXPECT_EQ(saved.find("2=PJLINK"), std::string::npos) << "stale key kept";
  EXPECT_EQ(saved.find("3=PJLINK"), std::string::npos) << "stale key kept";
}

TEST_F(ConfigTest, PasswordsStayInAnOwnerOnlyFile) {
  WriteBytes(NetworkFile(), kFleet);
  COsprelNetworkManagerDoc doc;
  doc.OnNewDocument();
  doc.m_docPjlinkPasswords = {{"10.0.0.2", "JBMIAProJect"}, {"10.0.0.3", std::string(32, '~')}};
  ASSERT_TRUE(doc.WriteNetworkConfig());
  struct stat info {};
  ASSERT_EQ(::stat(PjlinkPasswordsFile().c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_EQ(ReadBytes(NetworkFile()).find("JBMIAProJect"), std::string::npos);
  COsprelNetworkManagerDoc back;
  back.OnNewDocument();
  EXPECT_EQ(back.m_docPjlinkPasswords, doc.m_docPjlinkPasswords);

  ASSERT_EQ(::chmod(PjlinkPasswordsFile().c_str(), 0644), 0);
  const std::string before = ReadBytes(PjlinkPasswordsFile());
  COsprelNetworkManagerDoc open;
  open.OnNewDocument();
  EXPECT_TRUE(open.m_docPjlinkPasswords.empty());
  EXPECT_EQ(open.UnreadableFiles(), std::vector{PjlinkPasswordsFile()});
  EXPECT_FALSE(open.WriteNetworkConfig());
  EXPECT_EQ(ReadBytes(PjlinkPasswordsFile()), before);
}

TEST_F(ConfigTest, APasswordFileIsReadOnlyWhenItIsTrusted) {
  std::string problem;
  WriteBytes(PjlinkPasswordsFile(),
             "10.0.0.2\tok\r\nno tab\n10.0.0.3\t" + std::string(33, 'a') + "\n");
  ASSERT_EQ(::chmod(PjlinkPasswordsFile().c_str(), 0600), 0);
  EXPECT_EQ(ReadPjlinkPasswords(PjlinkPasswordsFile(), &problem),
            (PjlinkPasswords{{"10.0.0.2", "ok"}}));
  EXPECT_EQ(problem, "line 2 is not valid");
  const std::string link = m_folder.File("link");
  ASSERT_EQ(::symlink(PjlinkPasswordsFile().c_str(), link.c_str()), 0);
  EXPECT_TRUE(ReadPjlinkPasswords(link, &problem).empty());
  EXPECT_EQ(problem, "a symbolic link");
}

}  // namespace
}  // namespace tarnex
