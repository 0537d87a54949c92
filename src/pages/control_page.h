#pragma once

#include <string>
#include <vector>

#include "monitor/control_readers.h"
#include "monitor/page_setter.h"
#include "pages/property_page.h"

class QComboBox;
class QPushButton;

namespace tarnex {

// The Control page: power, input, screen mute, RGB monitor output and auto configuration of
// the selected display or of every display of the selected group. Its input query is the link
// check of its refresh.
class CControl : public CPropertyPage {
 public:
  // The input position that shows no entry, until a display reports one.
  static constexpr int kNoInput = 10;

  explicit CControl(CConsoleCore& core, QWidget* parent = nullptr);

  QString Title() const override;
  QIcon Icon() const override;
  void Refresh() override { RefreshControlPage(); }
  void RefreshControlPage();

  void ShowValues() override;
  void ReadControls() override;
  void ForgetValues() override;

  // The shared input check found the input; shown when the page next shows its values.
  void StoreInputPosition(int position) { m_input = position; }
  int InputPosition() const { return m_input; }
  int MutePosition() const { return m_mute; }
  int MonitorOutPosition() const { return m_monitorOut; }

  // What a refresh read, to the value members and the controls. UI thread.
  void ShowReadings(const ControlReadings& readings);
  // The same for a read of `context`, only while its target is still the selection.
  void ShowReadings(const ReadContext& context, const ControlReadings& readings);

 protected:
  void OnInitPage() override;

 private:
  void BuildControls();
  QWidget* BuildPowerRow();
  QWidget* BuildInputFrame();
  QWidget* BuildListFrame(const QString& title, QComboBox* list);
  QWidget* BuildAutoConfigureFrame();
  void ConnectHandlers();
  // The input list matches the display kind that its "Set" and its reader use.
  void FillInputList();
  void FollowDisplayKind();
  // The PJLink display selected, kNoDisplay for anything else. Takes the lock.
  DisplayId SelectedPjlinkDisplay();
  // The controls PJLink has no command for are off while only PJLink displays are selected.
  void FollowLinkKind();
  void SendPjlinkInput(const std::string& code);

  void OnPowerOn();
  void OnPowerOff();
  void OnSetInput();
  void OnMuteChanged();
  void OnMonitorOutChanged();
  void OnAutoConfigure();

  QPushButton* m_powerOn;
  QPushButton* m_powerOff;
  QComboBox* m_inputList;
  QPushButton* m_inputSet;
  QComboBox* m_muteList;
  QComboBox* m_monitorOutList;
  QPushButton* m_autoConfigure;

  int m_input = kNoInput;
  int m_mute = 0;
  int m_monitorOut = 0;
  bool m_inputListB = false;  // the input list shows list B (kind 1)
  // A PJLink display lists its own inputs: the list shows those of m_inputCodesOf while it
  // is selected, as it last listed them.
  DisplayId m_pjlinkList = kNoDisplay;
  DisplayId m_inputCodesOf = kNoDisplay;
  std::vector<std::string> m_inputCodes;
};

}  // namespace tarnex
