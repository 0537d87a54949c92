#include "pages/information_page.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

#include "monitor/control_readers.h"
#include "monitor/display_kind.h"
#include "monitor/page_flags.h"
#include "monitor/page_state.h"
#include "monitor/pjlink_readers.h"
#include "monitor/refresh_steps.h"
#include "platform/ui_thread.h"

namespace tarnex {
namespace {

void SetText(QLineEdit* box, const std::optional<std::string>& text) {
  if (text) box->setText(QString::fromStdString(*text));
}

}  // namespace

CInformation::CInformation(CConsoleCore& core, QWidget* parent) : QWidget(parent), m_core(core) {
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(BuildStatusBox());
  layout->addWidget(BuildDiagnosisBox());
  layout->addWidget(BuildNetworkBox());
  layout->addWidget(BuildPjlinkBox());
  layout->addStretch(1);
}

QLineEdit* CInformation::AddBox(QGroupBox* box, QGridLayout* layout, const char* label,
                                const char* name, const char* unit) {
  const int row = layout->rowCount();
  auto* text = new QLabel(QString::fromLatin1(label), box);
  auto* edit = new QLineEdit(box);
  edit->setReadOnly(true);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setAccessibleName(QString::fromLatin1(label));
  text->setBuddy(edit);
  layout->addWidget(text, row, 0);
  layout->addWidget(edit, row, 1);
  if (unit != nullptr) layout->addWidget(new QLabel(QString::fromLatin1(unit), box), row, 2);
  return edit;
}

QGroupBox* CInformation::BuildStatusBox() {
  auto* box = new QGroupBox(QStringLiteral("Status"), this);
  auto* layout = new QGridLayout(box);
  m_power = AddBox(box, layout, "Power", "power");
  m_input = AddBox(box, layout, "Input", "input");
  m_signal = AddBox(box, layout, "Signal", "signal");
  m_aspect = AddBox(box, layout, "Aspect", "aspect");
  m_pictureMode = AddBox(box, layout, "Picture Mode", "pictureMode");
  return box;
}

QGroupBox* CInformation::BuildDiagnosisBox() {
  auto* box = new QGroupBox(QStringLiteral("Diagnosis"), this);
  auto* layout = new QGridLayout(box);
  m_fan = AddBox(box, layout, "FAN", "fan");
  m_lampTime1 = AddBox(box, layout, "Lamp Time 1", "lampTime1", "Hr.");
  m_lampTime2 = AddBox(box, layout, "Lamp Time 2", "lampTime2", "Hr.");
  return box;
}

// The stored settings are shown, never edited here.
QGroupBox* CInformation::BuildNetworkBox() {
  auto* box = new QGroupBox(QStringLiteral("Network"), this);
  auto* layout = new QGridLayout(box);
  m_mac = AddBox(box, layout, "MAC Address", "macAddress");
  m_ipAddress = AddBox(box, layout, "IP Address", "ipAddress");
  m_subnetMask = AddBox(box, layout, "Subnet Mask", "subnetMask");
  m_gateway = AddBox(box, layout, "Default Gateway", "defaultGateway");
  for (QLineEdit* address : {m_ipAddress, m_subnetMask, m_gateway}) address->setEnabled(false);
  return box;
}

// What a PJLink display says of itself; shown for PJLink displays only.
QGroupBox* CInformation::BuildPjlinkBox() {
  m_pjlinkBox = new QGroupBox(QStringLiteral("PJLink"), this);
  auto* layout = new QGridLayout(m_pjlinkBox);
  m_pjlinkName = AddBox(m_pjlinkBox, layout, "Name", "pjlinkName");
  m_manufacturer = AddBox(m_pjlinkBox, layout, "Manufacturer", "manufacturer");
  m_product = AddBox(m_pjlinkBox, layout, "Product", "product");
  m_pjlinkClass = AddBox(m_pjlinkBox, layout, "Class", "pjlinkClass");
  m_pjlinkBox->setVisible(false);
  return m_pjlinkBox;
}

void CInformation::ShowPjlinkTexts(const PjlinkTexts& texts) {
  m_pjlinkName->setText(QString::fromStdString(texts.name));
  m_manufacturer->setText(QString::fromStdString(texts.manufacturer));
  m_product->setText(QString::fromStdString(texts.product));
  m_pjlinkClass->setText(QString::fromStdString(texts.linkClass));
}

void CInformation::ClearBoxes() {
  for (QLineEdit* box : {m_power, m_input, m_signal, m_aspect, m_pictureMode, m_fan, m_lampTime1,
                         m_lampTime2, m_mac, m_ipAddress, m_subnetMask, m_gateway, m_pjlinkName,
                         m_manufacturer, m_product, m_pjlinkClass}) {
    box->clear();
  }
}

void CInformation::OnSetActive() {
  {
    auto state = m_core.Lock();
    COsprelNetworkManagerDoc& doc = state->Doc();
    RaisePageFlag(doc, PageKind::kInformation);
    doc.m_docInformationShown = 1;
    doc.m_docGroupPageActive = 0;
  }
  if (ShouldRefreshOnActivation(m_core)) RefreshInformation();
}

std::string CInformation::DisplayKeyOf(const ReadContext& context) {
  if (context.target.route == CommandTarget::Route::kDisplay) {
    return std::to_string(context.target.display);
  }
  return context.target.setIds.empty() ? std::string() : "serial " + context.target.setIds.front();
}

// Another display's state must not stay in the boxes while this one is read, or when it does
// not answer; the same display keeps what it showed until a reply changes it.
void CInformation::RefreshInformation() {
  ExpectOnUiThread("the Information page's refresh");
  if (DocInt(m_core, &COsprelNetworkManagerDoc::m_docInformationPageActive) != 1) return;
  ReadContext context = ReadContext::ForSelection(m_core);
  if (context.target.IsGroup() || context.target.route == CommandTarget::Route::kNone) return;
  const std::string key = DisplayKeyOf(context);
  if (key != m_shownDisplay) {
    ClearBoxes();
    m_shownDisplay = key;
    m_pjlinkBox->setVisible(ReadsPjlinkDisplay(context));
  }
  JobKeys keys = context.Keys();
  m_core.Jobs().Post(std::move(keys), [this, context = std::move(context)] {
    if (context.Cancelled()) return;  // the operator selected another item meanwhile
    const InformationReadings readings = ReadInformationPage(context, true);
    if (!readings.ran || readings.cancelled) return;
    QMetaObject::invokeMethod(
        this, [this, context, readings] { ShowReadings(context, readings); }, Qt::QueuedConnection);
    context.core->SleeperCopy()(kAfterReadPause);
  });
}

void CInformation::ShowReadings(const ReadContext& context, const InformationReadings& readings) {
  // PJLink has no kind: the kind a native read found stays what it was.
  if (!readings.pjlink) StoreDisplayKind(m_core, context, readings.kind);
  {
    auto state = m_core.Lock();
    // A set ID that did not answer the probe is silent; any other read found the display.
    if (DisplayFacts* facts = context.Facts(state)) {
      facts->setIdAnswered = !context.serial || readings.probeAnswered;
    }
    if (!context.StillSelected(state)) return;
  }
  SetText(m_power, readings.power);
  SetText(m_input, readings.input);
  SetText(m_signal, readings.signal);
  SetText(m_aspect, readings.aspect);
  SetText(m_pictureMode, readings.pictureMode);
  SetText(m_lampTime1, readings.lampTime1);
  SetText(m_lampTime2, readings.lampTime2);
  if (readings.fan) {
    m_fan->setText(QString::fromStdString(readings.fan->text));
    m_fanState = readings.fan->normal ? 1 : 0;
    ShowDiagnosisIcons(context);
  }
  if (readings.pjlink) ShowPjlinkTexts(*readings.pjlink);
  if (readings.network) {
    m_mac->setText(QString::fromStdString(readings.network->mac));
    m_ipAddress->setText(QString::fromStdString(readings.network->ipAddress));
    m_subnetMask->setText(QString::fromStdString(readings.network->subnetMask));
    m_gateway->setText(QString::fromStdString(readings.network->gateway));
  }
}

// The warning goes on the display's "Single" item and from there to every member that stands
// for it, whichever of them is selected, so that a selected member does not lose it at once.
// A normal fan turns them connected again.
void CInformation::ShowDiagnosisIcons(const ReadContext& context) {
  const TreeIcon icon = m_fanState == 1 ? TreeIcon::kConnected : TreeIcon::kWarning;
  auto state = m_core.Lock();
  if (!state->SelectedDisplayUsable()) return;
  DeviceTree& tree = state->Tree();
  if (context.serial) {
    if (context.target.item != kNoItem) tree.SetImages(context.target.item, TreeImages::Both(icon));
  } else {
    const int row = state->RowOf(context.target.display);
    if (row >= 0 && state->Doc().m_docConnectState[static_cast<size_t>(row)] == 1) {
      tree.SetSingleIconsByKey(state->DisplayAddress(row), icon);
    }
  }
  tree.PropagateIcons();
}

}  // namespace tarnex
