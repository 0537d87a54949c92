#pragma once

#include <functional>
#include <span>
#include <vector>

#include "monitor/menu_readers.h"
#include "monitor/page_setting.h"
#include "pages/property_page.h"

class QComboBox;
class QLineEdit;
class QSlider;

namespace tarnex {

class SliderBinding;

// A page that is its table of settings: one frame per setting, titled as the setting, holding
// a drop-down list or a slider with its edit box, stacked in table order. A list sends the
// command of the chosen position; a position without a command sends nothing and the list
// shows again what the display has. Sliders are SliderBindings. The reads (initialisation and
// refresh) are the page's reader, run on a console worker and shown here.
//
// Threads: UI thread only; the reader runs on a worker with what was captured when asked.
class CMenuPage : public CPropertyPage {
 public:
  using Reader = MenuReadings (*)(const ReadContext&, const MenuReadPlan&);

  CMenuPage(CConsoleCore& core, PageKind kind, std::span<const PageSetting> settings, Reader reader,
            QWidget* parent = nullptr);

  void Refresh() override;
  void OnSetActive() override;
  void ShowValues() override;
  void ReadControls() override;
  void ForgetValues() override;

  // Where the input found by the link check goes: the Control page keeps it to show.
  void SetInputSink(std::function<void(int)> sink) { m_inputSink = std::move(sink); }

  // The value member of a setting of the table: a list position, or a slider value.
  int Value(int setting) const;
  QComboBox* List(int setting) const { return At(setting).list; }
  QSlider* Slider(int setting) const { return At(setting).slider; }
  QLineEdit* Box(int setting) const { return At(setting).box; }

 protected:
  void OnInitPage() override;
  // What the `enabled` of a read means on this page.
  virtual void ApplyEnabled(bool enabled) = 0;
  // A list's change was handled; `sent` when its command went out.
  virtual void AfterChoice(int /*setting*/, bool /*sent*/) {}
  // A read's values are in the value members and about to be shown.
  virtual void AfterReadings(const MenuReadings& /*readings*/) {}
  void SetSettingEnabled(int setting, bool enabled);
  int SettingCount() const { return static_cast<int>(m_controls.size()); }

 private:
  struct Control {
    QComboBox* list = nullptr;
    QSlider* slider = nullptr;
    QLineEdit* box = nullptr;
    SliderBinding* binding = nullptr;
    int value = -1;       // a list's position; -1 shows no entry until a display reports one
    bool enabled = true;  // as the display's signal allows
  };

  const Control& At(int setting) const { return m_controls.at(static_cast<size_t>(setting)); }
  Control& At(int setting) { return m_controls.at(static_cast<size_t>(setting)); }
  QWidget* BuildFrame(int setting);
  void OnListChanged(int setting);
  void PostPlan(const MenuReadPlan& plan);
  void ShowReadings(const ReadContext& context, const MenuReadings& readings);
  void RereadSetting(int setting);
  // Every setting is off while only PJLink displays are selected.
  void FollowLinkKind();

  std::span<const PageSetting> m_settings;
  Reader m_reader;
  std::vector<Control> m_controls;
  std::function<void(int)> m_inputSink;
  // The initialisation queries wait for the first read of a display, with which they run.
  bool m_initPending = false;
  bool m_pjlinkOnly = false;
};

}  // namespace tarnex
