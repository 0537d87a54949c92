#pragma once

#include <QWidget>

#include <string>

#include "console/console_core.h"
#include "monitor/information_reader.h"

class QGridLayout;
class QGroupBox;
class QLineEdit;

namespace tarnex {

// The state of the one display selected in the tree: its status, its diagnosis (fan and lamp
// times) and, on the network, its stored network settings. Every box is read-only.
//
// Threads: UI thread; the reads run on a console worker and come back to ShowReadings.
class CInformation : public QWidget {
 public:
  explicit CInformation(CConsoleCore& core, QWidget* parent = nullptr);

  // The inner sheet brought this page on top: its flags are raised and a usable display
  // selection is read.
  void OnSetActive();
  // Reads the selected display, when this page is on top.
  void RefreshInformation();
  // What a read of `context` found, while its display is still the selection.
  void ShowReadings(const ReadContext& context, const InformationReadings& readings);

  int FanState() const { return m_fanState; }

 private:
  QLineEdit* AddBox(QGroupBox* box, QGridLayout* layout, const char* label, const char* name,
                    const char* unit = nullptr);
  QGroupBox* BuildStatusBox();
  QGroupBox* BuildDiagnosisBox();
  QGroupBox* BuildNetworkBox();
  QGroupBox* BuildPjlinkBox();
  void ShowPjlinkTexts(const PjlinkTexts& texts);
  void ClearBoxes();
  void ShowDiagnosisIcons(const ReadContext& context);
  static std::string DisplayKeyOf(const ReadContext& context);

  CConsoleCore& m_core;
  QLineEdit* m_power = nullptr;
  QLineEdit* m_input = nullptr;
  QLineEdit* m_signal = nullptr;
  QLineEdit* m_aspect = nullptr;
  QLineEdit* m_pictureMode = nullptr;
  QLineEdit* m_fan = nullptr;
  QLineEdit* m_lampTime1 = nullptr;
  QLineEdit* m_lampTime2 = nullptr;
  QLineEdit* m_mac = nullptr;
  QLineEdit* m_ipAddress = nullptr;
  QLineEdit* m_subnetMask = nullptr;
  QLineEdit* m_gateway = nullptr;
  QGroupBox* m_pjlinkBox = nullptr;
  QLineEdit* m_pjlinkName = nullptr;
  QLineEdit* m_manufacturer = nullptr;
  QLineEdit* m_product = nullptr;
  QLineEdit* m_pjlinkClass = nullptr;
  int m_fanState = 0;          // 1 normal, 0 abnormal, as the last fan reply said
  std::string m_shownDisplay;  // whose state the boxes show
};

}  // namespace tarnex
