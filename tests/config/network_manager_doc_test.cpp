#include "config/network_manager_doc.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "config/config_fixture.h"
#include "platform/atomic_file.h"
#include "platform/private_profile.h"

namespace tarnex {
namespace {

using testing::ConfigTest;
using testing::ReadBytes;
using testing::WriteBytes;

std::string CommunicationFile(int active, int select) {
  return "[Communication]\r\nm_docCommunicationTrue=" + std::to_string(active) +
         "\r\nm_docCommunicationSelect=" + std::to_string(select) + "\r\n";
}

constexpr char kNetworkBody[] = "[VALUE]\r\nm_docSocketNumber=1\r\n[SINGLE]\r\n0=10.0.0.9\r\n";
constexpr char kSerialBody[] =
    "[SerialSetting]\r\nm_docPortStr=COM3\r\nm_docBaudrate=9600\r\n"
    "[GROUPCOUNT]\r\nm_docSerialGroupNumCount=1\r\n[GROUPCHILDCOUNT]\r\n0=1\r\n"
    "[GROUPNAME]\r\n0=Hall\r\n[GROUPCHILDNAME]\r\n0=[1]PJTR 5\r\n[GROUPIPLIST]\r\n0=PJTR 5\r\n";

class ActiveFileTest : public ConfigTest {};

// Jobs find a display's row by its id through an index, which must follow every change of the
// table: rows loaded from the file and given ids later, displays found and appended, rows
// closed up after a delete or a merge, a full table closing up. Each step is checked against
// the rows themselves.
TEST_F(ConfigTest, TheRowOfAnIdFollowsEveryChangeOfTheTable) {
  WriteBytes(NetworkFile(), CommunicationFile(1, 1) +
                                "[VALUE]\r\nm_docSocketNumber=3\r\n[SINGLE]\r\n0=10.0.0.1\r\n"
                                "1=10.0.0.2\r\n2=10.0.0.3\r\n");
  COsprelNetworkManagerDoc doc;
  doc.OnNewDocument();
  std::vector<DisplayId> given;
  auto check = [&](const std::string& step) {
    for (const DisplayId id : given) {
      int holder = -1;
      for (int row = 0; row < kMaxDisplays; ++row) {
        if (doc.IdAt(row) == id) holder = row;
      }
      EXPECT_EQ(doc.RowOf(id), holder) << step << ", display " << id;
    }
  };
  for (int row = 0; row < 3; ++row) given.push_back(doc.EnsureId(row));
  EXPECT_EQ(doc.EnsureId(1), given[1]) << "a row keeps its id";
  given.push_back(doc.IdAt(doc.AppendDisplay("10.0.0.4")));
  doc.EraseDisplayRow(1);
  EXPECT_EQ(doc.m_docDisplays[1].m_address, "10.0.0.3");
  EXPECT_EQ(doc.RowOf(given[2]), 1) << "the id moves with its display";
  check("a middle row deleted");
  doc.EraseDisplayRow(2);
  doc.EraseDisplayRow(2);  // past the end now: nothing
  EXPECT_EQ(doc.m_docSocketNumber, 2);
  check("the last row deleted");
  while (doc.m_docSocketNumber < kMaxDisplays) {
    const DisplayId id = doc.IdAt(doc.AppendDisplay("10.1.0.1"));
    EXPECT_EQ(std::count(given.begin(), given.end(), id), 0) << "an id is never given twice";
    given.push_back(id);
  }
  EXPECT_EQ(doc.AppendDisplay("10.1.0.2"), -1) << "the table is full";
  doc.EraseDisplayRow(0);
  EXPECT_EQ(doc.RowOf(given.back()), kMaxDisplays - 2);
  check("a full table closed up");
  EXPECT_EQ(doc.RowOf(kNoDisplay), -1);
  EXPECT_EQ(doc.RowOf(given.back() + 1), -1);
}

TEST_F(ActiveFileTest, ChoosesTheMarkedFileAndItsMode) {
  struct Case {
    const char* name;
    int netActive, netSelect, serActive, serSelect;  // -1: file absent
    int mode;
    bool networkLoaded, serialLoaded;
  };
  const Case cases[] = {
      {"both absent", -1, 0, -1, 0, 1, false, false},
      {"serial marked", 0, 1, 1, 2, 2, false, true},
      {"both marked: network wins", 1, 1, 1, 2, 1, true, false},
      {"network marked, serial absent", 1, 1, -1, 0, 1, true, false},
      {"unknown mode loads nothing", 1, 5, 0, 2, 5, false, false},
      {"select 0 means network", 0, 0, 0, 2, 1, true, false},
  };
  for (const Case& c : cases) {
    ::unlink(NetworkFile().c_str());
    ::unlink(SerialFile().c_str());
    if (c.netActive >= 0) {
      WriteBytes(NetworkFile(), CommunicationFile(c.netActive, c.netSelect) + kNetworkBody);
    }
    if (c.serActive >= 0) {
      WriteBytes(SerialFile(), CommunicationFile(c.serActive, c.serSelect) + kSerialBody);
    }
    COsprelNetworkManagerDoc doc;
    EXPECT_TRUE(doc.OnNewDocument());
    EXPECT_EQ(doc.m_docCommunicationSelect, c.mode) << c.name;
    EXPECT_EQ(doc.m_docSocketNumber, c.networkLoaded ? 1 : 0) << c.name;
    EXPECT_EQ(doc.m_docSerialGroupNumCount, c.serialLoaded ? 1 : 0) << c.name;
    if (c.serialLoaded) {
      EXPECT_EQ(doc.m_docPortStr, "COM3");
      EXPECT_EQ(doc.m_docBaudrate, 9600);
      EXPECT_EQ(doc.m_docSerialGroups[0].m_addresses[0], "PJTR 5");
    }
  }
}

class CloseTest : public ConfigTest {};

TEST_F(CloseTest, NormalCloseMarksExactlyTheModeFileActive) {
  for (int mode : {1, 2}) {
    WriteBytes(NetworkFile(), CommunicationFile(1, 1));
    WriteBytes(SerialFile(), CommunicationFile(1, 2));
    COsprelNetworkManagerDoc doc;
    doc.m_docCommunicationSelect = mode;
    EXPECT_TRUE(doc.OnCloseDocument({"id", "pw"}));
    EXPECT_EQ(doc.m_docCommunicationTrue, 1);
    const std::string active = mode == 1 ? NetworkFile() : SerialFile();
    const std::string other = mode == 1 ? SerialFile() : NetworkFile();
    EXPECT_EQ(GetPrivateProfileIntA("Communication", "m_docCommunicationTrue", 9, active.c_str()),
              1u);
    EXPECT_EQ(GetPrivateProfileIntA("Communication", "m_docCommunicationTrue", 9, other.c_str()),
              0u);
    COsprelNetworkManagerDoc next;
    next.OnNewDocument();
    EXPECT_EQ(next.m_docCommunicationSelect, mode);
  }
}

TEST_F(CloseTest, NoSaveWritesOnlyTheLoginFile) {
  WriteBytes(NetworkFile(), CommunicationFile(0, 2));
  COsprelNetworkManagerDoc doc;
  doc.m_docNoSave = 1;
  doc.m_docSocketNumber = 3;
  EXPECT_TRUE(doc.OnCloseDocument({"id", "pw"}));
  EXPECT_EQ(ReadBytes(NetworkFile()), CommunicationFile(0, 2));
  EXPECT_EQ(::access(SerialFile().c_str(), F_OK), -1);
  EXPECT_EQ(::access(LoginFile().c_str(), F_OK), 0);
}

TEST_F(CloseTest, AFailedSaveIsReportedAndKeepsTheOldFile) {
  WriteBytes(NetworkFile(), CommunicationFile(1, 1) + kNetworkBody);
  const std::string before = ReadBytes(NetworkFile());
  COsprelNetworkManagerDoc doc;
  doc.OnNewDocument();
  doc.m_docSocketNumber = 0;
  SetAtomicFileFaultHook([](AtomicFileStep step) { return step == AtomicFileStep::kRename; });
  EXPECT_FALSE(doc.WriteNetworkConfig());
  SetAtomicFileFaultHook({});
  EXPECT_EQ(doc.FailedFiles(), (std::vector<std::string>{NetworkFile(), SerialFile()}));
  EXPECT_EQ(ReadBytes(NetworkFile()), before);
  COsprelNetworkManagerDoc again;
  again.OnNewDocument();
  EXPECT_EQ(again.m_docSocketNumber, 1);
}

// A file its owner may not write was made read-only by the operator: it is kept byte for byte
// and named as a failed save, while the other files are still written. The console decides
// by the mode bits, so this holds for root as well, and a rename would otherwise replace it.
TEST_F(CloseTest, AReadOnlyFileIsKeptAndItsSaveFails) {
  for (mode_t mode : {0444, 0464}) {
    WriteBytes(NetworkFile(), CommunicationFile(1, 1) + kNetworkBody);
    ASSERT_EQ(::chmod(NetworkFile().c_str(), mode), 0);
    const std::string before = ReadBytes(NetworkFile());
    ::unlink(LoginFile().c_str());
    COsprelNetworkManagerDoc doc;
    doc.OnNewDocument();
    doc.m_docSocketNumber = 0;
    EXPECT_FALSE(doc.OnCloseDocument({"Operator", "pw"}));
    EXPECT_EQ(doc.FailedFiles(), std::vector<std::string>{NetworkFile()});
    EXPECT_EQ(ReadBytes(NetworkFile()), before);
    struct stat info {};
    ASSERT_EQ(::stat(NetworkFile().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, mode);
    EXPECT_EQ(doc.ReadLogin(), (LoginCredentials{"Operator", "pw"}));
    EXPECT_EQ(
        GetPrivateProfileIntA("Communication", "m_docCommunicationTrue", 9, SerialFile().c_str()),
        0u);
    ::unlink(NetworkFile().c_str());
  }
}

// A file that could not be read loads as empty; writing that emptiness over it would lose what
// it holds, even once it has become readable again.
TEST_F(CloseTest, AFileThatCouldNotBeReadIsNamedAndNeverWritten) {
  const std::string before = CommunicationFile(1, 1) + kNetworkBody;
  WriteBytes(NetworkFile(), before);
  ASSERT_EQ(::truncate(NetworkFile().c_str(), static_cast<off_t>(kMaxProfileBytes) + 1), 0);
  COsprelNetworkManagerDoc doc;
  doc.OnNewDocument();
  EXPECT_EQ(doc.UnreadableFiles(), std::vector<std::string>{NetworkFile()});
  EXPECT_EQ(doc.m_docSocketNumber, 0);
  WriteBytes(NetworkFile(), before);
  EXPECT_FALSE(doc.OnCloseDocument({"id", "pw"}));
  EXPECT_EQ(doc.FailedFiles(), std::vector<std::string>{NetworkFile()});
  EXPECT_EQ(ReadBytes(NetworkFile()), before);
  EXPECT_EQ(::access(LoginFile().c_str(), F_OK), 0) << "the other files are still written";
}

}  // namespace
}  // namespace tarnex
