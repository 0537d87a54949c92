#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/agent_settings.h"
#include "app/agent_settings_box.h"
#include "app/information_dlg.h"
#include "app/setting_dlg.h"
#include "console/console_core.h"
#include "platform/scratch_folder.h"
#include "support/recording_ui_host.h"

namespace tarnex {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const std::string& path, const std::string& text, mode_t mode) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
  ::chmod(path.c_str(), mode);
}

TEST(AgentSettingsTest, TheFileReadsBackAndIsChecked) {
  const AgentSettings stored{.enabled = true,
                             .broker = "broker.example:8883",
                             .site = "site-a",
                             .caFile = "/etc/ssl/ca.pem",
                             .user = "operator",
                             .passwordFile = "/home/op/.tarnex-pw"};
  const AgentSettingsRead back = AgentSettingsFromText(AgentSettingsText(stored));
  EXPECT_EQ(back.settings, stored);
  EXPECT_TRUE(back.error.empty()) << back.error;

  const struct {
    const char* name;
    std::string text;
    bool enabled;
    bool error;
  } kCases[] = {
      {"empty", "", false, false},
      {"console", "[Agent]\nMode=console\nBroker=x\n", false, false},
      {"another section", "[Other]\nMode=agent\n", false, false},
      {"keys any case, spaces, CRLF",
       "; kept by hand\r\n[agent]\r\n mode = agent \r\nBROKER=127.0.0.1:1883\r\nsite=s\r\n", true,
       false},
      {"bad site", "[Agent]\nMode=agent\nBroker=h:1883\nSite=a/b\n", true, true},
      {"no port", "[Agent]\nMode=agent\nBroker=h\nSite=s\n", true, true},
      {"port out of range", "[Agent]\nMode=agent\nBroker=h:65536\nSite=s\n", true, true},
      {"port not a number", "[Agent]\nMode=agent\nBroker=h:18x3\nSite=s\n", true, true},
      {"host with a space", "[Agent]\nMode=agent\nBroker=a b:1883\nSite=s\n", true, true},
      {"relative CA file", "[Agent]\nMode=agent\nBroker=h:1\nSite=s\nCaFile=ca.pem\n", true, true},
      {"password without user", "[Agent]\nMode=agent\nBroker=h:1\nSite=s\nPasswordFile=/p\n", true,
       true},
      {"too large", "[Agent]\nMode=agent\n" + std::string(9000, ';'), false, true},
  };
  for (const auto& item : kCases) {
    const AgentSettingsRead read = AgentSettingsFromText(item.text);
    EXPECT_EQ(read.settings.enabled, item.enabled) << item.name;
    EXPECT_EQ(!read.error.empty(), item.error) << item.name << ": " << read.error;
  }
}

TEST(AgentSettingsTest, OnlyTheUsersOwnPrivateSmallFileGivesAPassword) {
  testing::ScratchFolder folder;
  const std::string good = folder.File("good");
  Write(good, "s3cret\r\nsecond line\n", 0600);
  const PasswordRead read = ReadPasswordFile(good);
  ASSERT_TRUE(read.password) << read.error;
  EXPECT_EQ(*read.password, "s3cret");

  Write(folder.File("shared"), "s3cret\n", 0644);
  Write(folder.File("large"), std::string(1025, 'x'), 0600);
  Write(folder.File("blank"), "\nsecret\n", 0600);
  ::symlink(good.c_str(), folder.File("link").c_str());
  ::mkfifo(folder.File("fifo").c_str(), 0600);
  const struct {
    const char* name;
    const char* words;
  } kRefused[] = {
      {"shared", "must have mode 0600"}, {"large", "larger than 1 KiB"},
      {"blank", "no password"},          {"link", "cannot be read"},
      {"fifo", "not a regular file"},    {"missing", "cannot be read"},
  };
  for (const auto& item : kRefused) {
    const PasswordRead refused = ReadPasswordFile(folder.File(item.name));
    EXPECT_FALSE(refused.password) << item.name;
    EXPECT_NE(refused.error.find(item.words), std::string::npos)
        << item.name << ": " << refused.error;
  }
}

// The Setting dialog's agent choice, over a configuration folder of its own.
class AgentSettingDlgTest : public ::testing::Test {
 protected:
  AgentSettingDlgTest() {
    ::setenv("TARNEX_CONFIG_DIR", folder.Path().c_str(), 1);
    Write(folder.File("QXMNTConfig.ini"), kNetworkFile, 0644);
    doc.OnNewDocument();
    Write(PasswordPath(), "pw\n", 0600);
  }
  ~AgentSettingDlgTest() override {
    CInformationDlg::SetNextAnswer(std::nullopt);
    ::unsetenv("TARNEX_CONFIG_DIR");
  }
  std::unique_ptr<CSettingDlg> Open(bool running) {
    CSettingDlg::Hooks hooks{[](const QString&) {}, [this] { ++closeRequests; }};
    return std::make_unique<CSettingDlg>(
        core, port, hooks,
        CSettingDlg::AgentChoice{.running = running,
                                 .file = {},
                                 .tell = [this](const QString& text) { told.push_back(text); }});
  }
  void Fill(CSettingDlg& dialog, const std::string& broker, const std::string& passwordFile) {
    dialog.AgentRadio()->click();
    dialog.AgentBox()->BrokerEdit()->setText(QString::fromStdString(broker));
    dialog.AgentBox()->SiteEdit()->setText("site-a");
    dialog.AgentBox()->UserEdit()->setText("operator");
    dialog.AgentBox()->PasswordFileEdit()->setText(QString::fromStdString(passwordFile));
  }
  std::string PasswordPath() { return folder.File("operator.pw"); }
  std::string AgentFile() { return Slurp(folder.File("Agent.ini")); }

  static constexpr const char* kNetworkFile =
      "[Communication]\nm_docCommunicationTrue=1\nm_docCommunicationSelect=1\n";
  testing::ScratchFolder folder;
  COsprelNetworkManagerDoc doc;
  testing::RecordingUiHost ui;
  CConsoleCore core{doc, ui};
  CSerialPort port{ui};
  std::vector<QString> told;
  int closeRequests = 0;
};

TEST_F(AgentSettingDlgTest, AConfirmedAgentIsKeptInItsOwnFileAndClosesTheWindow) {
  const std::string network = Slurp(folder.File("QXMNTConfig.ini"));
  auto dialog = Open(false);
  Fill(*dialog, "127.0.0.1:1883", PasswordPath());
  EXPECT_TRUE(dialog->AgentBox()->isEnabled());
  CInformationDlg::SetNextAnswer(true);
  dialog->OnOK();
  EXPECT_TRUE(told.empty()) << told.front().toStdString();
  EXPECT_EQ(closeRequests, 1);
  const AgentSettingsRead read = AgentSettingsFromText(AgentFile());
  EXPECT_TRUE(read.settings.enabled);
  EXPECT_EQ(read.settings.broker, "127.0.0.1:1883");
  EXPECT_EQ(read.settings.passwordFile, PasswordPath());
  struct stat info {};
  ASSERT_EQ(::stat(folder.File("Agent.ini").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  // The console's file is as the dialog's opening wrote it, and the close writes nothing.
  EXPECT_EQ(core.Lock()->Doc().m_docNoSave, 1);
  EXPECT_NE(Slurp(folder.File("QXMNTConfig.ini")).find("m_docCommunicationSelect=1"),
            std::string::npos)
      << network;
}

TEST_F(AgentSettingDlgTest, UnusableSettingsAreToldAndNothingIsWritten) {
  Write(folder.File("loose.pw"), "pw\n", 0640);
  const struct {
    std::string broker;
    std::string passwordFile;
    const char* words;
  } kCases[] = {
      {"127.0.0.1", "", "HOST:PORT"},
      {"127.0.0.1:1883", folder.File("loose.pw"), "mode 0600"},
      {"127.0.0.1:1883", folder.File("absent.pw"), "cannot be read"},
  };
  for (const auto& item : kCases) {
    told.clear();
    auto dialog = Open(false);
    Fill(*dialog, item.broker, item.passwordFile);
    CInformationDlg::SetNextAnswer(true);
    dialog->OnOK();
    ASSERT_EQ(told.size(), 1u) << item.words;
    EXPECT_TRUE(told[0].contains(QString::fromLatin1(item.words))) << told[0].toStdString();
    EXPECT_FALSE(dialog->result() == QDialog::Accepted);
  }
  EXPECT_EQ(closeRequests, 0);
  EXPECT_TRUE(AgentFile().empty());
}

// Over the agent the tree is not the console's: opening writes no console file; leaving the
// agent for the network says so in the agent's file and closes the window.
TEST_F(AgentSettingDlgTest, LeavingTheAgentRewritesOnlyItsChoice) {
  ASSERT_TRUE(WriteAgentSettings(folder.File("Agent.ini"), {.enabled = true,
                                                            .broker = "127.0.0.1:1883",
                                                            .site = "site-a",
                                                            .caFile = {},
                                                            .user = {},
                                                            .passwordFile = {}}));
  Write(folder.File("QXMNTConfig.ini"), "; by hand\n" + std::string(kNetworkFile), 0644);
  auto dialog = Open(true);
  EXPECT_TRUE(dialog->AgentRadio()->isChecked());
  EXPECT_EQ(dialog->AgentBox()->SiteEdit()->text(), "site-a");
  EXPECT_EQ(Slurp(folder.File("QXMNTConfig.ini")), "; by hand\n" + std::string(kNetworkFile));
  dialog->CancelButton()->click();
  EXPECT_EQ(closeRequests, 0);

  dialog = Open(true);
  dialog->NetworkRadio()->click();
  CInformationDlg::SetNextAnswer(true);
  dialog->OnOK();
  EXPECT_EQ(closeRequests, 1);
  const AgentSettingsRead read = AgentSettingsFromText(AgentFile());
  EXPECT_FALSE(read.settings.enabled);
  EXPECT_EQ(read.settings.site, "site-a");
}

TEST_F(AgentSettingDlgTest, EveryAgentControlIsNamedAndReachedByTheKeyboard) {
  auto dialog = Open(false);
  AgentSettingsBox* box = dialog->AgentBox();
  const std::vector<QWidget*> controls = {dialog->AgentRadio(), box->BrokerEdit(),
                                          box->SiteEdit(),      box->CaFileEdit(),
                                          box->UserEdit(),      box->PasswordFileEdit()};
  for (QWidget* control : controls) {
    EXPECT_FALSE(control->accessibleName().isEmpty()) << control->metaObject()->className();
    EXPECT_TRUE(control->focusPolicy() & Qt::TabFocus) << control->accessibleName().toStdString();
  }
}

}  // namespace
}  // namespace tarnex
