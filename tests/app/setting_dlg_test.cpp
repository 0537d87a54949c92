#include "app/setting_dlg.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/information_dlg.h"
#include "console/console_core.h"
#include "display-sim/command_log.h"
#include "display-sim/serial_line.h"
#include "platform/private_profile.h"
#include "platform/scratch_folder.h"
#include "support/recording_ui_host.h"
#include "support/trace_recorder.h"

namespace tarnex {
namespace {

// A fresh configuration folder, a document loaded from it, and every COM port routed to one
// simulated serial line.
class SettingDlgTest : public ::testing::Test {
 protected:
  SettingDlgTest() {
    ::setenv("TARNEX_CONFIG_DIR", folder.Path().c_str(), 1);
    for (int n = 1; n <= 9; ++n) {
      ::setenv(("TARNEX_COM" + std::to_string(n)).c_str(), line.Path().c_str(), 1);
    }
    doc.OnNewDocument();
  }
  ~SettingDlgTest() override {
    CInformationDlg::SetNextAnswer(std::nullopt);
    ::unsetenv("TARNEX_CONFIG_DIR");
    for (int n = 1; n <= 9; ++n) ::unsetenv(("TARNEX_COM" + std::to_string(n)).c_str());
  }

  std::unique_ptr<CSettingDlg> Open() {
    CSettingDlg::Hooks hooks{[this](const QString& text) { labels.push_back(text.toStdString()); },
                             [this] { ++closeRequests; }};
    return std::make_unique<CSettingDlg>(core, port, hooks);
  }
  int Int(const char* file, const char* section, const char* key) {
    return static_cast<int>(GetPrivateProfileIntA(section, key, -99, folder.File(file).c_str()));
  }
  std::string Text(const char* file, const char* section, const char* key) {
    char buffer[256];
    GetPrivateProfileStringA(section, key, "<none>", buffer, sizeof buffer,
                             folder.File(file).c_str());
    return buffer;
  }
  // "active flag/mode" of a file's Communication section.
  std::string Communication(const char* file) {
    return std::to_string(Int(file, "Communication", "m_docCommunicationTrue")) + "/" +
           std::to_string(Int(file, "Communication", "m_docCommunicationSelect"));
  }

  static constexpr const char* kNetworkFile = "QXMNTConfig.ini";
  static constexpr const char* kSerialFile = "QXMNTSerialConfig.ini";

  testing::ScratchFolder folder;
  sim::CommandLog log;
  sim::SerialLine line{{.setIds = {"01"}}, log};
  COsprelNetworkManagerDoc doc;
  testing::RecordingUiHost ui;
  CConsoleCore core{doc, ui};
  CSerialPort port{ui};
  std::vector<std::string> labels;
  int closeRequests = 0;
};

TEST_F(SettingDlgTest, OpeningShowsTheModeInUseAndWritesItsFile) {
  auto network = Open();
  EXPECT_EQ(network->windowTitle(), "Setting");
  EXPECT_TRUE(network->NetworkRadio()->isChecked());
  EXPECT_FALSE(network->PortList()->isEnabled());
  EXPECT_FALSE(network->FlowControlList()->isEnabled());
  EXPECT_EQ(labels, std::vector<std::string>{"Network Communication"});
  EXPECT_EQ(Communication(kNetworkFile), "0/1");
  EXPECT_EQ(Text(kSerialFile, "Communication", "m_docCommunicationSelect"), "<none>");

  doc.m_docCommunicationSelect = kSerialMode;
  doc.m_docBaudrateInt = 3;
  labels.clear();
  auto serial = Open();
  EXPECT_TRUE(serial->SerialRadio()->isChecked());
  EXPECT_TRUE(serial->StopList()->isEnabled());
  EXPECT_EQ(serial->BaudrateList()->currentText(), "14400");
  EXPECT_EQ(serial->DataList()->currentText(), "8 bit");
  EXPECT_EQ(serial->ParityList()->currentText(), "none");
  EXPECT_EQ(serial->FlowControlList()->count(), 3);
  EXPECT_EQ(labels, std::vector<std::string>{"Serial Communication"});
  EXPECT_EQ(Communication(kSerialFile), "0/2");

  // The radio buttons switch the mode line and the lists, nothing else yet.
  serial->NetworkRadio()->click();
  EXPECT_EQ(labels.back(), "Network Communication");
  EXPECT_FALSE(serial->BaudrateList()->isEnabled());
  EXPECT_EQ(doc.m_docCommunicationSelect, kSerialMode);
}

TEST_F(SettingDlgTest, ConfirmedSerialChoiceStoresValuesAndPositionsAndEndsTheRun) {
  struct Case {
    int port, baudrate, data, parity, stop;
    const char* portName;
    int rateValue, dataValue, parityCode, stopCode;
  };
  const std::vector<Case> cases = {
      {4, 3, 0, 0, 0, "\\\\.\\COM5", 14400, 5, 2, 0},  // the fifth port's device path form
      {0, 7, 3, 2, 1, "COM1", 115200, 8, 0, 2},
      {8, 0, 2, 1, 1, "\\\\.\\COM9", 2400, 7, 1, 2},
      {-1, -1, -1, -1, -1, "COM2", 9600, 8, 0, 2},  // nothing chosen: the fallbacks
  };
  for (const Case& c : cases) {
    doc = COsprelNetworkManagerDoc();
    doc.OnNewDocument();
    closeRequests = 0;
    auto dialog = Open();
    dialog->SerialRadio()->click();
    dialog->PortList()->setCurrentIndex(c.port);
    dialog->BaudrateList()->setCurrentIndex(c.baudrate);
    dialog->DataList()->setCurrentIndex(c.data);
    dialog->ParityList()->setCurrentIndex(c.parity);
    dialog->StopList()->setCurrentIndex(c.stop);
    dialog->FlowControlList()->setCurrentIndex(1);  // no effect anywhere
    CInformationDlg::SetNextAnswer(true);
    dialog->OkButton()->click();

    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_EQ(doc.m_docCommunicationSelect, kSerialMode);
    EXPECT_EQ(doc.m_docNoSave, 1);
    EXPECT_EQ(doc.m_docPortStr, c.portName);
    EXPECT_EQ(doc.m_docBaudrate, c.rateValue);
    EXPECT_EQ(doc.m_docData, c.dataValue);
    EXPECT_EQ(doc.m_docParity, c.parityCode);
    EXPECT_EQ(doc.m_docStop, c.stopCode);
    EXPECT_EQ(doc.m_docPortInt, c.port);
    EXPECT_EQ(doc.m_docStopInt, c.stop);
    EXPECT_TRUE(port.IsOpen()) << port.LastError();
    EXPECT_EQ(port.Settings().portName, c.portName);
    EXPECT_EQ(port.Settings().baudrate, c.rateValue);
    EXPECT_EQ(Communication(kNetworkFile), "0/1");
    EXPECT_EQ(Communication(kSerialFile), "1/2");
    EXPECT_EQ(Text(kSerialFile, "SerialSetting", "m_docPortStr"), c.portName);
    EXPECT_EQ(Int(kSerialFile, "SerialSetting", "m_docBaudrate"), c.rateValue);
    EXPECT_EQ(Int(kSerialFile, "SerialSetting", "m_docParity"), c.parityCode);
    EXPECT_EQ(Int(kSerialFile, "SerialSetting", "m_docBaudrateInt"), c.baudrate);
    EXPECT_EQ(closeRequests, 1);
  }
  EXPECT_TRUE(ui.Messages().empty());
}

TEST_F(SettingDlgTest, PortThatCannotOpenIsToldButTheChoiceIsStillSaved) {
  ::setenv("TARNEX_COM1", "/nonexistent/tty", 1);
  auto dialog = Open();
  dialog->SerialRadio()->click();
  dialog->PortList()->setCurrentIndex(0);
  CInformationDlg::SetNextAnswer(true);
  dialog->OkButton()->click();
  EXPECT_EQ(ui.Messages(), std::vector<std::string>{"fail Port open"});
  EXPECT_EQ(Communication(kSerialFile), "1/2");
  EXPECT_EQ(closeRequests, 1);
}

TEST_F(SettingDlgTest, ConfirmedNetworkChoiceWritesOnlyTheCommunicationKeys) {
  // A serial configuration with a group that the network run never loaded.
  const std::string serialFile = folder.File(kSerialFile);
  WritePrivateProfileStringA("GROUPCOUNT", "m_docSerialGroupNumCount", "1", serialFile.c_str());
  WritePrivateProfileStringA("GROUPNAME", "0", "Lobby", serialFile.c_str());
  doc.m_docCommunicationSelect = kSerialMode;
  doc.m_docSerialGroupNumCount = 1;
  doc.m_docGroupName[0] = "Lobby";
  auto dialog = Open();
  dialog->NetworkRadio()->click();
  CInformationDlg::SetNextAnswer(true);
  dialog->OkButton()->click();
  EXPECT_EQ(doc.m_docCommunicationSelect, kNetworkMode);
  EXPECT_EQ(doc.m_docNoSave, 1);
  EXPECT_EQ(Communication(kNetworkFile), "1/1");
  EXPECT_EQ(Communication(kSerialFile), "0/2");
  EXPECT_EQ(Text(kSerialFile, "GROUPNAME", "0"), "Lobby");
  EXPECT_EQ(Text(kNetworkFile, "SerialSetting", "m_docPortStr"), "<none>");
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(closeRequests, 1);
}

TEST_F(SettingDlgTest, DeclinedOrCancelledChangeLeavesEverythingAsItWas) {
  ASSERT_TRUE(port.OpenSerialPort("COM1", 9600, 8, 0, 0));
  doc.m_docCommunicationSelect = kSerialMode;
  for (const bool viaCancel : {false, true}) {
    labels.clear();
    testing::TraceRecorder traces;
    auto dialog = Open();
    dialog->NetworkRadio()->click();
    if (viaCancel) {
      dialog->CancelButton()->click();
    } else {
      CInformationDlg::SetNextAnswer(false);
      dialog->OkButton()->click();
    }
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
    EXPECT_TRUE(dialog->SerialRadio()->isChecked() || viaCancel);
    EXPECT_EQ(labels.back(), "Serial Communication") << viaCancel;
    EXPECT_EQ(doc.m_docCommunicationSelect, kSerialMode);
    EXPECT_EQ(doc.m_docNoSave, 0);
    EXPECT_EQ(doc.m_docCommunicationTrue, 0);
    EXPECT_EQ(Communication(kSerialFile), "0/2");
    // The console's line stays open: the dialog was only looked at.
    EXPECT_TRUE(port.IsOpen());
    EXPECT_FALSE(traces.Contains("ClosePort"));
  }
  EXPECT_EQ(Text(kNetworkFile, "Communication", "m_docCommunicationTrue"), "<none>");
  EXPECT_EQ(closeRequests, 0);
}

TEST_F(SettingDlgTest, CancelWithNoModeChosenClosesThePort) {
  ASSERT_TRUE(port.OpenSerialPort("COM1", 9600, 8, 0, 0));
  doc.m_docCommunicationSelect = 5;  // neither: a hand-edited file
  testing::TraceRecorder traces;
  auto dialog = Open();
  EXPECT_FALSE(dialog->NetworkRadio()->isChecked() || dialog->SerialRadio()->isChecked());
  dialog->CancelButton()->click();
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(traces.Lines(), (std::vector<std::string>{"ClosePort", "Close Port: COM1 \r\n"}));
  // Nothing was loaded in that mode, so nothing was written over the files.
  EXPECT_EQ(Text(kNetworkFile, "Communication", "m_docCommunicationTrue"), "<none>");
  EXPECT_EQ(Text(kSerialFile, "Communication", "m_docCommunicationTrue"), "<none>");
}

TEST_F(SettingDlgTest, StoredPositionsOutsideTheListsShowNothingAndSaveTheFallbacks) {
  doc.m_docCommunicationSelect = kSerialMode;
  doc.m_docPortInt = 12;
  doc.m_docBaudrateInt = 8;
  doc.m_docDataInt = -3;
  doc.m_docParityInt = 3;
  doc.m_docStopInt = 2;
  auto dialog = Open();
  EXPECT_EQ(dialog->PortList()->currentIndex(), -1);
  EXPECT_EQ(dialog->StopList()->currentIndex(), -1);
  CInformationDlg::SetNextAnswer(true);
  dialog->OkButton()->click();
  EXPECT_EQ(doc.m_docPortStr, "COM2");
  EXPECT_EQ(doc.m_docBaudrate, 9600);
  EXPECT_EQ(doc.m_docData, 8);
  EXPECT_EQ(doc.m_docParity, 0);
  EXPECT_EQ(doc.m_docStop, 2);
}

TEST_F(SettingDlgTest, EnterAndEscapeDoNotCloseTheDialog) {
  auto dialog = Open();
  dialog->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog.get()));
  CInformationDlg::SetNextAnswer(true);  // would confirm, were OK reached
  dialog->OkButton()->setFocus();
  for (QWidget* target :
       {static_cast<QWidget*>(dialog.get()), static_cast<QWidget*>(dialog->OkButton()),
        static_cast<QWidget*>(dialog->PortList())}) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
      QTest::keyClick(target, key);
      EXPECT_TRUE(dialog->isVisible()) << key;
    }
  }
  EXPECT_EQ(doc.m_docNoSave, 0);
  EXPECT_EQ(closeRequests, 0);
  dialog->CancelButton()->click();
  EXPECT_FALSE(dialog->isVisible());
}

TEST(InformationDlg, AsksInTheProductsOwnWords) {
  CInformationDlg question;
  EXPECT_EQ(question.windowTitle(), "Imformation");
  const auto texts = question.findChildren<QLabel*>();
  ASSERT_EQ(texts.size(), 1);
  EXPECT_EQ(texts.front()->text().toStdString(),
            "      Save changes to the communication setting?       If you select 'Yes', please "
            "reboot the program.");
  EXPECT_EQ(question.YesButton()->text(), "Yes");
  EXPECT_EQ(question.NoButton()->text(), "No");
  CInformationDlg::SetNextAnswer(false);
  EXPECT_FALSE(CInformationDlg::Ask(nullptr));
  CInformationDlg::SetNextAnswer(true);
  EXPECT_TRUE(CInformationDlg::Ask(nullptr));
}

}  // namespace
}  // namespace tarnex
